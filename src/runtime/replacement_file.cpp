#include "runtime/replacement_file.h"

#include "runtime/files.h"

namespace zelkupd {

std::u16string ReplacementFileName(std::u16string_view path) {
  return std::u16string(path) + u".zelkupd-tmp";
}

std::unique_ptr<TFileStream> CreateReplacementFile(std::u16string_view path) {
  const std::u16string name = ReplacementFileName(path);
  // When it cannot go, the creation below fails on it.
  RemoveFile(name);
  return std::make_unique<TFileStream>(name, kCreateNewWriteShareRead, path);
}

}  // namespace zelkupd
