#include "update/signature_der.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace zelkupd {
namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kLongForm = 0x80;  // a length byte with this bit has more bytes after it
constexpr std::size_t kHalf = 32;

// n, the order of P-256's group, big-endian: a signature's r and s each lie between 1 and n - 1.
constexpr std::array<std::uint8_t, kHalf> kGroupOrder = {
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};

std::uint8_t Byte(std::string_view der, std::size_t at) {
  return static_cast<std::uint8_t>(der[at]);
}

// The INTEGER at `at` into `out` (kHalf bytes, big-endian); `at` moves past it. False unless it is
// a positive integer below the group order in its shortest encoding.
bool ReadInteger(std::string_view der, std::size_t& at, std::uint8_t* out) {
  if (der.size() - at < 2 || Byte(der, at) != kInteger || (Byte(der, at + 1) & kLongForm) != 0) {
    return false;
  }
  const std::size_t length = Byte(der, at + 1);
  at += 2;
  if (length == 0 || length > der.size() - at) {
    return false;
  }
  std::string_view value = der.substr(at, length);
  at += length;
  if ((Byte(value, 0) & 0x80) != 0) {
    return false;  // negative
  }
  if (Byte(value, 0) == 0) {
    // A zero byte is only there to keep the next byte's high bit from reading as a sign.
    if (value.size() == 1 || (Byte(value, 1) & 0x80) == 0) {
      return false;
    }
    value.remove_prefix(1);
  }
  if (value.size() > kHalf) {
    return false;
  }
  for (std::size_t i = 0; i < kHalf; ++i) {
    out[i] = i < kHalf - value.size() ? 0 : Byte(value, i - (kHalf - value.size()));
  }
  return std::lexicographical_compare(out, out + kHalf, kGroupOrder.begin(), kGroupOrder.end());
}

}  // namespace

std::optional<TEcSignature> ParseDerSignature(std::string_view der) {
  if (der.size() < 2 || der.size() > kMaxDerSignatureSize || Byte(der, 0) != kSequence ||
      (Byte(der, 1) & kLongForm) != 0 || Byte(der, 1) != der.size() - 2) {
    return std::nullopt;
  }
  TEcSignature signature{};
  std::size_t at = 2;
  if (!ReadInteger(der, at, signature.data()) || !ReadInteger(der, at, signature.data() + kHalf) ||
      at != der.size()) {
    return std::nullopt;
  }
  return signature;
}

}  // namespace zelkupd
