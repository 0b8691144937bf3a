// SHA-256 and the ECDSA P-256 check through the system's cryptography (BCrypt under Wine, libcrypto
// natively), on a release signed with openssl.
#include "runtime/crypto.h"

#include <gtest/gtest.h>

#include <string>

#include "support/signed_release.h"
#include "update/signature_der.h"

namespace zelkupd {
namespace {

using test::kArchiveSignature;
using test::kOtherKey;
using test::kOtherKeySignature;
using test::kReleaseKey;
using test::kSignedArchive;

TSha256Digest Digest(const std::string& data, std::size_t piece) {
  TSha256 hash;
  for (std::size_t at = 0; at < data.size(); at += piece) {
    hash.Update(data.data() + at, std::min(piece, data.size() - at));
  }
  const std::optional<TSha256Digest> digest = hash.Finish();
  EXPECT_TRUE(digest.has_value());
  return digest.value_or(TSha256Digest{});
}

TEcSignature Signature(const std::string& der) {
  return ParseDerSignature(der).value_or(TEcSignature{});
}

TEST(CryptoTest, Sha256InPiecesIsTheDigestOfTheWhole) {
  const TSha256Digest abc = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                             0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                             0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
  EXPECT_EQ(Digest("abc", 3), abc);
  EXPECT_EQ(Digest("abc", 1), abc);
  std::string large(200000, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) {
    large[i] = static_cast<char>(i * 31 % 251);
  }
  EXPECT_EQ(Digest(large, 65536), Digest(large, 7));
  EXPECT_NE(Digest(large, 65536), Digest(large.substr(1), 65536));
}

// The digest that a signature of the archive `data` as zelk32_156.zip signs.
TSha256Digest MessageDigest(const std::string& data) {
  return Digest(test::SignedMessage("zelk32_156.zip", Digest(data, 4096)), 4096);
}

TEST(CryptoTest, OnlyTheReleaseKeysSignatureOfTheUnalteredArchiveVerifies) {
  const TSha256Digest digest = MessageDigest(kSignedArchive);
  EXPECT_TRUE(VerifyEcdsaP256(kReleaseKey, digest, Signature(kArchiveSignature)));
  EXPECT_TRUE(VerifyEcdsaP256(kOtherKey, digest, Signature(kOtherKeySignature)));

  EXPECT_FALSE(VerifyEcdsaP256(kReleaseKey, digest, Signature(kOtherKeySignature)));
  EXPECT_FALSE(VerifyEcdsaP256(kOtherKey, digest, Signature(kArchiveSignature)));
  std::string altered = kSignedArchive;
  altered[10] = '\x01';
  EXPECT_FALSE(VerifyEcdsaP256(kReleaseKey, MessageDigest(altered), Signature(kArchiveSignature)));
  TEcSignature flipped = Signature(kArchiveSignature);
  flipped[40] ^= 0x01;
  EXPECT_FALSE(VerifyEcdsaP256(kReleaseKey, digest, flipped));
  EXPECT_FALSE(VerifyEcdsaP256(kReleaseKey, digest, TEcSignature{}));
  TEcPublicKey offCurve = kReleaseKey;
  offCurve[63] ^= 0x01;
  EXPECT_FALSE(VerifyEcdsaP256(offCurve, digest, Signature(kArchiveSignature)));
}

// A half that DER writes shorter than 32 bytes is a genuine signature all the same; a check that
// took it as it stands would refuse about one release in 128.
TEST(CryptoTest, ASignatureWithAShortHalfVerifies) {
  const TSha256Digest digest = MessageDigest(kSignedArchive);
  EXPECT_TRUE(VerifyEcdsaP256(test::kThirdKey, digest, Signature(test::kShortRSignature)));
  EXPECT_TRUE(VerifyEcdsaP256(test::kThirdKey, digest, Signature(test::kShortSSignature)));
  EXPECT_FALSE(VerifyEcdsaP256(kReleaseKey, digest, Signature(test::kShortRSignature)));
}

}  // namespace
}  // namespace zelkupd
