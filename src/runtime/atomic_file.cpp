#include "runtime/atomic_file.h"

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/replacement_file.h"

namespace zelkupd {

void ReplaceFileContent(std::u16string_view path, std::string_view bytes) {
  // Renaming over a file succeeds where rewriting it would not (natively over a read-only file,
  // and the error would name the wrong cause for a file in use), so first make sure the file
  // itself could be written now, as a rewrite in place needs. An empty name fails here too,
  // before a temporary file could be made of it.
  if (path.empty() || FileExists(path)) {
    const TFileStream probe(path, kOpenWriteExclusive);
  }
  TReplacementFile temp(path);
  temp.Stream().WriteBuffer(bytes.data(), bytes.size());
  if (!temp.Stream().FlushToDisk()) {
    throw EWriteError(texts::kStreamWriteError);
  }
  if (!temp.MoveOver()) {
    const std::uint32_t error = LastOsError();
    throw EFCreateError(FileCreateErrorText(ExpandFileName(path), error));
  }
}

}  // namespace zelkupd
