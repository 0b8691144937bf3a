// windows.h first: bcrypt.h builds on its declarations.
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstring>

#include "runtime/crypto.h"

namespace zelkupd {
namespace {

// BCrypt takes at most a ULONG at a time.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;
constexpr ULONG kCoordinateSize = 32;

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

}  // namespace

struct TSha256::TState {
  BCRYPT_ALG_HANDLE Algorithm = nullptr;
  BCRYPT_HASH_HANDLE Hash = nullptr;
  bool Failed = false;
};

TSha256::TSha256() : FState(std::make_unique<TState>()) {
  // Without a buffer of ours the hash object is kept by the system (Windows 7 and later).
  FState->Failed =
      !Succeeded(
          ::BCryptOpenAlgorithmProvider(&FState->Algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !Succeeded(::BCryptCreateHash(FState->Algorithm, &FState->Hash, nullptr, 0, nullptr, 0, 0));
}

TSha256::~TSha256() {
  if (FState->Hash != nullptr) {
    ::BCryptDestroyHash(FState->Hash);
  }
  if (FState->Algorithm != nullptr) {
    ::BCryptCloseAlgorithmProvider(FState->Algorithm, 0);
  }
}

void TSha256::Update(const void* data, std::size_t size) {
  auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
  while (!FState->Failed && size > 0) {
    const std::size_t piece = std::min(size, kMaxPiece);
    FState->Failed =
        !Succeeded(::BCryptHashData(FState->Hash, bytes, static_cast<ULONG>(piece), 0));
    bytes += piece;
    size -= piece;
  }
}

std::optional<TSha256Digest> TSha256::Finish() {
  TSha256Digest digest{};
  if (FState->Failed || !Succeeded(::BCryptFinishHash(FState->Hash, digest.data(),
                                                      static_cast<ULONG>(digest.size()), 0))) {
    return std::nullopt;
  }
  return digest;
}

bool VerifyEcdsaP256(const TEcPublicKey& key, const TSha256Digest& digest,
                     const TEcSignature& signature) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!Succeeded(
          ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
    return false;
  }
  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
  std::array<UCHAR, sizeof(BCRYPT_ECCKEY_BLOB) + std::tuple_size_v<TEcPublicKey>> blob{};
  const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinateSize};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, key.data(), key.size());
  BCRYPT_KEY_HANDLE keyHandle = nullptr;
  bool verified = false;
  if (Succeeded(::BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &keyHandle,
                                      blob.data(), static_cast<ULONG>(blob.size()), 0))) {
    TSha256Digest hash = digest;
    TEcSignature rs = signature;
    verified =
        ::BCryptVerifySignature(keyHandle, nullptr, hash.data(), static_cast<ULONG>(hash.size()),
                                rs.data(), static_cast<ULONG>(rs.size()), 0) == 0;
    ::BCryptDestroyKey(keyHandle);
  }
  ::BCryptCloseAlgorithmProvider(algorithm, 0);
  return verified;
}

}  // namespace zelkupd
