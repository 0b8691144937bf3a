// The release signature as openssl writes it, the DER form of SEQUENCE { r INTEGER, s INTEGER },
// read strictly into the r and s of fixed width that the system's verification takes.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "runtime/crypto.h"

namespace zelkupd {

// The longest such signature: both integers 33 bytes long, a zero byte before a high bit.
inline constexpr std::size_t kMaxDerSignatureSize = 72;

// r and s of a DER signature, each left-padded to 32 bytes; nullopt unless the bytes are exactly
// one such SEQUENCE in its one DER encoding: short-form lengths that match the content exactly,
// nothing after it, and two positive INTEGERs below the P-256 group order n in their shortest form
// (no needless leading zero byte, none negative, neither zero, neither n or more).
std::optional<TEcSignature> ParseDerSignature(std::string_view der);

}  // namespace zelkupd
