#include "ini/atomic_file.h"

#include <memory>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/replacement_file.h"

namespace zelkupd {
namespace {

void WriteReplacement(std::u16string_view path, std::string_view bytes) {
  const std::unique_ptr<TFileStream> file = CreateReplacementFile(path);
  file->WriteBuffer(bytes.data(), bytes.size());
  if (!file->FlushToDisk()) {
    throw EWriteError(texts::kStreamWriteError);
  }
}

}  // namespace

void ReplaceFileContent(std::u16string_view path, std::string_view bytes) {
  // Renaming over a file succeeds where rewriting it would not (natively over a read-only file,
  // and the error would name the wrong cause for a file in use), so first make sure the file
  // itself could be written now, as a rewrite in place needs. An empty name fails here too,
  // before a temporary file could be made of it.
  if (path.empty() || FileExists(path)) {
    const TFileStream probe(path, kOpenWriteExclusive);
  }
  const std::u16string temp = ReplacementFileName(path);
  try {
    WriteReplacement(path, bytes);
  } catch (const EFCreateError&) {
    // Nothing was created: what holds the name is not this rewrite's to remove.
    throw;
  } catch (...) {
    RemoveFile(temp);
    throw;
  }
  if (!MoveFileOver(temp, path)) {
    const std::uint32_t error = LastOsError();
    RemoveFile(temp);
    throw EFCreateError(FileCreateErrorText(ExpandFileName(path), error));
  }
}

}  // namespace zelkupd
