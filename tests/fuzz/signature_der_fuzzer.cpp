// Fuzz target: the strict reading of a DER ECDSA signature on arbitrary bytes. A signature read
// must be the one encoding of its r and s (written out again it gives back the input byte for
// byte), and any r and s taken from the input, written out in DER, must read back unchanged
// unless one of them is zero, which no signature may hold.
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

bool IsZero(const std::uint8_t* value) {
  for (std::size_t i = 0; i < kHalf; ++i) {
    if (value[i] != 0) {
      return false;
    }
  }
  return true;
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
  if (IsZero(signature.data()) || IsZero(signature.data() + kHalf)) {
    Require(!read, "a zero r or s is refused");
  } else {
    Require(read == signature, "r and s written out in DER read back unchanged");
  }
}

}  // namespace
}  // namespace zelkupd::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelkupd::fuzz::CheckRead(std::string_view(reinterpret_cast<const char*>(data), size));
  zelkupd::fuzz::CheckWritten(data, size);
  return 0;
}
