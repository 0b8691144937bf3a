// Fuzz target: the strict reading of a DER ECDSA signature on arbitrary bytes. A signature read
// must be the one encoding of its r and s (written out again it gives back the input byte for
// byte), and any r and s taken from the input, written out in DER, must read back unchanged
// unless one of them is zero or not below the group order n, which no signature may hold.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "update/signature_der.h"

namespace zelkupd::fuzz {
namespace {

constexpr std::size_t kHalf = 32;

// n, the order of P-256's group, big-endian.
constexpr std::array<std::uint8_t, kHalf> kGroupOrder = {
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};

// A non-negative big-endian integer of kHalf bytes as a DER INTEGER: its shortest form, with a
// zero byte before a high bit.
std::string DerInteger(const std::uint8_t* value) {
  std::size_t start = 0;
  while (start + 1 < kHalf && value[start] == 0) {
    ++start;
  }
  std::string content(reinterpret_cast<const char*>(value + start), kHalf - start);
  if ((value[start] & 0x80) != 0) {
    content.insert(content.begin(), '\0');
  }
  return std::string{'\x02', static_cast<char>(content.size())} + content;
}

std::string DerSignature(const TEcSignature& signature) {
  const std::string body = DerInteger(signature.data()) + DerInteger(signature.data() + kHalf);
  return std::string{'\x30', static_cast<char>(body.size())} + body;
}

// Whether a value of kHalf bytes lies between 1 and n - 1, as r and s must.
bool InRange(const std::uint8_t* value) {
  return std::any_of(value, value + kHalf, [](std::uint8_t byte) { return byte != 0; }) &&
         std::lexicographical_compare(value, value + kHalf, kGroupOrder.begin(), kGroupOrder.end());
}

void CheckRead(std::string_view der) {
  const std::optional<TEcSignature> signature = ParseDerSignature(der);
  if (signature) {
    Require(DerSignature(*signature) == der, "a signature read is the one encoding of its r and s");
  }
}

void CheckWritten(const std::uint8_t* data, std::size_t size) {
  if (size < sizeof(TEcSignature)) {
    return;
  }
  TEcSignature signature;
  std::memcpy(signature.data(), data, signature.size());
  const std::optional<TEcSignature> read = ParseDerSignature(DerSignature(signature));
  if (InRange(signature.data()) && InRange(signature.data() + kHalf)) {
    Require(read == signature, "r and s written out in DER read back unchanged");
  } else {
    Require(!read, "an r or s of zero, or of n or more, is refused");
  }
}

}  // namespace
}  // namespace zelkupd::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelkupd::fuzz::CheckRead(std::string_view(reinterpret_cast<const char*>(data), size));
  zelkupd::fuzz::CheckWritten(data, size);
  return 0;
}
