#include "update/verified_copy.h"

#include "runtime/files.h"

namespace zelkupd {

std::unique_ptr<TFileStream> CreateVerifiedCopy(const std::u16string& folder) {
  const std::u16string path = folder + kVerifiedCopyName;
  // When it cannot go, the creation below fails on it.
  RemoveFile(path);
  return std::make_unique<TFileStream>(path, kCreatePrivateTemporary);
}

}  // namespace zelkupd
