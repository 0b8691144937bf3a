// The strict reading of a DER ECDSA signature (the fuzz target covers every other input).
#include "update/signature_der.h"

#include <gtest/gtest.h>

#include <string>

#include "support/signed_release.h"

namespace zelkupd {
namespace {

using test::kArchiveSignature;
using test::kOtherKeySignature;

// n, the order of P-256's group, and n - 1, each as a DER INTEGER.
const std::string kGroupOrder(
    "\x02\x21\x00\xFF\xFF\xFF\xFF\x00\x00\x00\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
    "\xBC\xE6\xFA\xAD\xA7\x17\x9E\x84\xF3\xB9\xCA\xC2\xFC\x63\x25\x51",
    35);
const std::string kGroupOrderLess1 = kGroupOrder.substr(0, 34) + '\x50';

TEST(SignatureDerTest, RAndSComeOutLeftPaddedAndWithoutTheirSignByte) {
  const std::optional<TEcSignature> signature = ParseDerSignature(kArchiveSignature);
  ASSERT_TRUE(signature.has_value());
  EXPECT_EQ(std::string(signature->begin(), signature->begin() + 32),
            kArchiveSignature.substr(4, 32));
  EXPECT_EQ(std::string(signature->begin() + 32, signature->end()), kArchiveSignature.substr(39));
  const std::string small("\x30\x06\x02\x01\x05\x02\x01\x7f", 8);
  EXPECT_EQ(ParseDerSignature(small),
            (TEcSignature{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   0, 0,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   0, 0,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7f}));
  EXPECT_TRUE(ParseDerSignature("\x30\x26\x02\x01\x05" + kGroupOrderLess1)) << "s = n - 1";
}

TEST(SignatureDerTest, TruncatedExtendedAndMalformedSignaturesAreRefused) {
  for (const std::string& whole : {kArchiveSignature, kOtherKeySignature}) {
    for (std::size_t size = 0; size < whole.size(); ++size) {
      EXPECT_FALSE(ParseDerSignature(whole.substr(0, size))) << size;
    }
    EXPECT_FALSE(ParseDerSignature(whole + '\0'));
  }
  const std::string garbage[] = {
      std::string("\x31\x06\x02\x01\x05\x02\x01\x05", 8),               // a SET
      std::string("\x30\x81\x06\x02\x01\x05\x02\x01\x05", 9),           // a long-form length
      std::string("\x30\x07\x02\x01\x05\x02\x01\x05", 8),               // a length beyond the end
      std::string("\x30\x05\x02\x01\x05\x02\x01\x05", 8),               // a length short of the end
      std::string("\x30\x06\x02\x01\x05\x03\x01\x05", 8),               // a BIT STRING for s
      std::string("\x30\x06\x02\x01\x85\x02\x01\x05", 8),               // a negative r
      std::string("\x30\x07\x02\x02\x00\x05\x02\x01\x05", 9),           // a needless zero byte
      std::string("\x30\x06\x02\x01\x00\x02\x01\x05", 8),               // r is zero
      std::string("\x30\x05\x02\x00\x02\x01\x05", 7),                   // an empty INTEGER
      std::string("\x30\x03\x02\x01\x05", 5),                           // no s
      std::string("\x30\x09\x02\x01\x05\x02\x01\x05\x02\x01\x05", 11),  // a third INTEGER
      "\x30\x26\x02\x21\x01" + std::string(32, '\x11') +
          std::string("\x02\x01\x05", 3),                         // r > 2^256
      "\x30\x26" + kGroupOrder + std::string("\x02\x01\x05", 3),  // r = n, the group order
      "not a signature at all",
  };
  for (const std::string& der : garbage) {
    EXPECT_FALSE(ParseDerSignature(der));
  }
}

}  // namespace
}  // namespace zelkupd
