#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstring>
#include <vector>

#include "runtime/crypto.h"

namespace zelkupd {
namespace {

// SubjectPublicKeyInfo of an id-ecPublicKey on prime256v1, up to the uncompressed point's X and Y.
constexpr std::uint8_t kP256KeyInfoHead[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                             0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                             0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

// The key as OpenSSL takes it, or null when it is no point of the curve.
EVP_PKEY* ImportKey(const TEcPublicKey& key) {
  std::uint8_t info[sizeof kP256KeyInfoHead + std::tuple_size_v<TEcPublicKey>];
  std::memcpy(info, kP256KeyInfoHead, sizeof kP256KeyInfoHead);
  std::memcpy(info + sizeof kP256KeyInfoHead, key.data(), key.size());
  const unsigned char* at = info;
  return d2i_PUBKEY(nullptr, &at, static_cast<long>(sizeof info));
}

// r and s as the DER signature OpenSSL verifies; empty when they cannot be encoded.
std::vector<unsigned char> DerSignature(const TEcSignature& signature) {
  std::vector<unsigned char> der;
  ECDSA_SIG* sig = ECDSA_SIG_new();
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (sig != nullptr && r != nullptr && s != nullptr && ECDSA_SIG_set0(sig, r, s) == 1) {
    r = s = nullptr;  // owned by sig now
    const int size = i2d_ECDSA_SIG(sig, nullptr);
    if (size > 0) {
      der.resize(static_cast<std::size_t>(size));
      unsigned char* out = der.data();
      i2d_ECDSA_SIG(sig, &out);
    }
  }
  BN_free(r);
  BN_free(s);
  ECDSA_SIG_free(sig);
  return der;
}

}  // namespace

struct TSha256::TState {
  EVP_MD_CTX* Context = nullptr;
  bool Failed = false;
};

TSha256::TSha256() : FState(std::make_unique<TState>()) {
  FState->Context = EVP_MD_CTX_new();
  FState->Failed =
      FState->Context == nullptr || EVP_DigestInit_ex(FState->Context, EVP_sha256(), nullptr) != 1;
}

TSha256::~TSha256() {
  EVP_MD_CTX_free(FState->Context);
}

void TSha256::Update(const void* data, std::size_t size) {
  if (!FState->Failed && size > 0) {
    FState->Failed = EVP_DigestUpdate(FState->Context, data, size) != 1;
  }
}

std::optional<TSha256Digest> TSha256::Finish() {
  TSha256Digest digest{};
  unsigned int size = 0;
  if (FState->Failed || EVP_DigestFinal_ex(FState->Context, digest.data(), &size) != 1 ||
      size != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

bool VerifyEcdsaP256(const TEcPublicKey& key, const TSha256Digest& digest,
                     const TEcSignature& signature) {
  EVP_PKEY* publicKey = ImportKey(key);
  const std::vector<unsigned char> der = DerSignature(signature);
  EVP_PKEY_CTX* context = publicKey == nullptr ? nullptr : EVP_PKEY_CTX_new(publicKey, nullptr);
  const bool verified =
      context != nullptr && !der.empty() && EVP_PKEY_verify_init(context) == 1 &&
      EVP_PKEY_verify(context, der.data(), der.size(), digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(context);
  EVP_PKEY_free(publicKey);
  return verified;
}

}  // namespace zelkupd
