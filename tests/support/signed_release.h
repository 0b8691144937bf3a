// A release signed as its author signs one, made once with openssl and scripts/sign-release's
// message (only the public halves of the keys are kept): an empty ZIP archive, its signature as
// zelk32_156.zip by the release key and by another key, its signature by the release key as
// zelk32_150.zip, and the release key's signature of its bytes alone, the form that named no
// archive.
#pragma once

#include <string>
#include <string_view>

#include "runtime/crypto.h"

namespace zelkupd::test {

// An empty ZIP archive: its end record alone, so it installs without changing anything.
inline const std::string kSignedArchive("PK\x05\x06" + std::string(18, '\0'));

inline constexpr TEcPublicKey kReleaseKey = {
    0xb7, 0xf3, 0x30, 0x80, 0xe6, 0x77, 0xf7, 0x3c, 0x82, 0x04, 0xfa, 0x2e, 0xeb, 0x0d, 0x04, 0x1c,
    0x18, 0xa7, 0xce, 0x6c, 0x8a, 0xca, 0xc5, 0xf5, 0x94, 0xd3, 0xfb, 0x78, 0x51, 0x7b, 0xe6, 0xb7,
    0x00, 0x6c, 0x6b, 0x28, 0xae, 0x18, 0xa2, 0x22, 0x10, 0xc2, 0x90, 0x0b, 0x16, 0x1b, 0x01, 0xae,
    0x7a, 0x58, 0x5b, 0x0b, 0x25, 0x05, 0xab, 0x80, 0x4e, 0x73, 0x44, 0x71, 0x14, 0x1e, 0x43, 0xa1,
};

inline constexpr TEcPublicKey kOtherKey = {
    0xc3, 0x93, 0x63, 0x5a, 0x02, 0xe7, 0xb1, 0xfd, 0xbd, 0x6e, 0xf8, 0xdf, 0x7c, 0xec, 0x79, 0x47,
    0x0d, 0x78, 0xff, 0xdb, 0x0f, 0x38, 0xbf, 0x0a, 0xd7, 0x50, 0x4e, 0xac, 0x61, 0x5b, 0xc2, 0x8a,
    0xaf, 0x62, 0x06, 0x39, 0x91, 0x19, 0x45, 0xeb, 0xf7, 0x4d, 0x57, 0xe6, 0xdc, 0xf0, 0xf6, 0x3b,
    0xa2, 0x97, 0x48, 0x93, 0x70, 0x18, 0xaf, 0xb0, 0x98, 0x82, 0xf9, 0x36, 0x35, 0xfe, 0xe3, 0xfc,
};

// What a release signature is made over, spelt out here apart from the program's own: a label
// line, the archive's file name and a line end, then the archive's SHA-256.
inline std::string SignedMessage(std::string_view name, const TSha256Digest& archive) {
  return "zelkupd release 1\n" + std::string(name) + "\n" +
         std::string(archive.begin(), archive.end());
}

// kSignedArchive as zelk32_156.zip with kReleaseKey's private half; its r has 32 bytes and its s a
// zero byte before a high bit.
inline const std::string kArchiveSignature(
    "\x30\x45\x02\x20\x64\x24\xc0\xac\x04\x5a\xe9\x95\xfd\xfb\xaf\xbf\xa3\xd0\x16\x99\x43\xfa\xa8"
    "\x5c\xa4\xc7\x73\x59\x94\xe7\xb2\x5d\x98\x8c\x01\x72\x02\x21\x00\xfd\xd6\xf1\xec\x19\xde\xab"
    "\x41\x62\x55\xce\xb6\x7d\x03\x85\x0d\x7d\x05\xe0\x84\x93\xef\x53\xa7\xa3\xa1\x3c\xbe\x18\x23"
    "\x62\xb3",
    71);

// The same with kOtherKey's private half.
inline const std::string kOtherKeySignature(
    "\x30\x44\x02\x20\x14\xb1\x49\x15\xb2\xe2\x62\x85\x2e\x9a\x02\x70\xb5\x46\x64\x2a\x3f\x6c\xae"
    "\xb3\xba\xf3\xe0\x62\x4d\x5c\xe6\x4c\x24\xdd\xa7\x37\x02\x20\x2c\x94\xae\x7b\xa2\x16\x3c\x4c"
    "\x48\xde\x76\x95\xab\xd6\x37\x42\x3b\xd1\xd8\xe7\x31\x61\x3e\x18\xb8\xdb\x12\x3b\x3d\x63\x6e"
    "\x83",
    70);

// kSignedArchive as zelk32_150.zip with kReleaseKey's private half.
inline const std::string kOtherNameSignature(
    "\x30\x45\x02\x20\x3a\xa0\x27\x59\x8b\x3e\x4a\x18\x91\x3c\xe2\x4b\x19\xa1\xae\xdb\xd5\x18\x1b"
    "\xe8\x6e\x90\x73\xcc\x8e\x12\x7e\xad\x8a\x79\x8e\xf6\x02\x21\x00\xff\xc9\x1c\xac\x5c\xfe\x39"
    "\x18\x22\xc5\xfe\x06\x16\x03\x56\xec\xb9\x6e\xa9\xf2\x07\x36\x66\xbc\xb2\x1a\x31\xe7\xb2\x1f"
    "\xe6\xdb",
    71);

// `openssl dgst -sha256 -sign` of kSignedArchive's bytes alone with kReleaseKey's private half.
inline const std::string kBytesOnlySignature(
    "\x30\x46\x02\x21\x00\xf7\xd5\x43\xde\xec\xed\x75\xeb\xf0\x08\x6c\xb9\x4c\xeb\x83\x23\xa8\x93"
    "\xb0\xd3\xf7\x0e\x58\x5e\xe2\x1e\x59\x5d\xd5\xb3\xb8\xf9\x02\x21\x00\xda\xa7\x6c\x7e\x9e\xb2"
    "\xb7\x7b\xb3\x2b\x20\xc3\xe8\xcc\x09\x0c\x56\x30\xc0\xde\x6d\xd8\x8a\x44\xf4\xf6\x2d\x1d\xcb"
    "\x1c\xc8\xdc",
    72);

}  // namespace zelkupd::test
