// SHA-256 and the check of ECDSA P-256 signatures, through the system's own cryptography: BCrypt on
// Windows, OpenSSL's libcrypto natively (where only the tests, fuzzers and benchmark run).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace zelkupd {

using TSha256Digest = std::array<std::uint8_t, 32>;
// An ECDSA P-256 public key: the point's X and Y, 32 bytes each, big-endian.
using TEcPublicKey = std::array<std::uint8_t, 64>;
// An ECDSA P-256 signature: r and s, 32 bytes each, big-endian.
using TEcSignature = std::array<std::uint8_t, 64>;

// A SHA-256 hash of data given in pieces, so nothing needs to be held whole.
class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything given; nullopt when the system could not hash. Called once.
  std::optional<TSha256Digest> Finish();

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// True only when `signature` is the ECDSA signature of `digest` made with the private half of
// `key`. False for every other signature, and when `key` is no point of the curve.
bool VerifyEcdsaP256(const TEcPublicKey& key, const TSha256Digest& digest,
                     const TEcSignature& signature);

}  // namespace zelkupd
