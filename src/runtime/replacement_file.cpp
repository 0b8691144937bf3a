#include "runtime/replacement_file.h"

#include "runtime/files.h"

namespace zelkupd {

std::u16string ReplacementFileName(std::u16string_view path) {
  return std::u16string(path) + u".zelkupd-tmp";
}

TReplacementFile::TReplacementFile(std::u16string_view path)
    : FPath(path), FName(ReplacementFileName(path)) {
  // When it cannot go, the creation below fails on it.
  RemoveFile(FName);
  FStream = std::make_unique<TFileStream>(FName, kCreateNewWriteShareRead, path);
}

TReplacementFile::TReplacementFile(std::u16string_view path, TContinue)
    : FPath(path), FName(ReplacementFileName(path)) {
  FStream = std::make_unique<TFileStream>(FName, kOpenReadWriteShareRead, path);
  FStream->Seek(0, TSeekOrigin::End);
}

TReplacementFile::~TReplacementFile() {
  FStream.reset();
  if (!FMoved && !FKept) {
    RemoveFile(FName);
  }
}

void TReplacementFile::Keep() {
  FStream.reset();
  FKept = true;
}

bool TReplacementFile::MoveOver() {
  FStream.reset();
  FMoved = MoveFileOver(FName, FPath);
  return FMoved;
}

}  // namespace zelkupd
