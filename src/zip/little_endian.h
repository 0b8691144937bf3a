// Little-endian field access for the archive's records, independent of the host's byte order.
#pragma once

#include <cstdint>

namespace zelkupd {

inline std::uint16_t LoadLE16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadLE32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t LoadLE64(const unsigned char* p) {
  return static_cast<std::uint64_t>(LoadLE32(p)) |
         (static_cast<std::uint64_t>(LoadLE32(p + 4)) << 32);
}

}  // namespace zelkupd
