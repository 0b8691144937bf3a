#include "install/file_identity.h"

#include <zlib.h>

#include <vector>

#include "runtime/stream.h"

namespace zelkupd {

bool IsVersion(std::u16string_view path, const TFoundFile& found, const TFileIdentity& identity,
               TProof proof) {
  if (found.IsDirectory || found.Size != identity.Size || found.LastWrite != identity.LastWrite) {
    return false;
  }
  if (proof == TProof::Quick || !identity.HasCrc) {
    return true;
  }
  return FileCrc32(path) == identity.Crc;
}

std::uint32_t FileCrc32(std::u16string_view path) {
  TFileStream file(path, kOpenReadShareRead);
  std::vector<unsigned char> block(64 * 1024);
  uLong crc = crc32(0, nullptr, 0);
  for (;;) {
    const std::size_t n = file.Read(block.data(), block.size());
    if (n == 0) {
      return static_cast<std::uint32_t>(crc);
    }
    crc = crc32(crc, block.data(), static_cast<uInt>(n));
  }
}

}  // namespace zelkupd
