// A release signed as its author signs one, made once with openssl and scripts/sign-release's
// message (only the public halves of the keys are kept): an empty ZIP archive, its signature as
// zelk32_156.zip by the release key and by another key, its signature by the release key as
// zelk32_150.zip, the release key's signature of its bytes alone, the form that named no archive,
// and a third key's signatures with a short r and a short s.
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

// A third key, and kSignedArchive as zelk32_156.zip with its private half twice: once with an r of
// 31 bytes, once with an s of 31 bytes (about one signature in 128 has such a half).
inline constexpr TEcPublicKey kThirdKey = {
    0x77, 0xe4, 0xc8, 0xea, 0x32, 0xd1, 0x3f, 0x4d, 0xf2, 0x2f, 0xf9, 0xbb, 0xd1, 0xd6, 0xd9, 0x03,
    0xd9, 0x1b, 0x1f, 0x09, 0xf5, 0x09, 0xad, 0x14, 0xc4, 0x4d, 0xc8, 0xb5, 0xce, 0x60, 0xf0, 0x97,
    0xff, 0xcc, 0xbc, 0x29, 0xc8, 0x78, 0xec, 0xe7, 0x8b, 0x3b, 0x2f, 0x6a, 0x21, 0x23, 0x5b, 0x80,
    0x71, 0xa0, 0x01, 0x9f, 0xc3, 0xbf, 0xde, 0xe0, 0x8e, 0x5d, 0x88, 0xdd, 0xc2, 0xc1, 0x4e, 0x2d,
};

inline const std::string kShortRSignature(
    "\x30\x43\x02\x1f\x37\x68\x5d\x60\xe4\xe0\xea\x07\x88\x1e\xa0\xa1\xe8\x41\x22\x6c\x3e\x19\x48"
    "\xcd\xa4\xc9\xda\xa1\x8d\xf0\xde\x98\xfa\xf5\x7a\x02\x20\x3c\x72\x4a\xc2\xd8\x8d\x81\xb6\x95"
    "\x8c\x36\xd0\x2d\xac\xb4\x9a\xda\x47\xd7\x43\xf5\xdc\xd2\x42\x57\xd3\x53\xdb\xe0\x6b\x4c\x30",
    69);

inline const std::string kShortSSignature(
    "\x30\x44\x02\x21\x00\xfc\xea\x24\xb8\x9b\xaf\x1c\x9c\x58\xb5\x7d\x6b\x9b\x27\x29\x13\x79\x58"
    "\xdf\x0d\x34\xbd\xe8\x88\x5e\xba\xe5\x3b\x56\x72\x40\x54\x02\x1f\x66\x37\x74\x50\xc4\xf4\x56"
    "\xed\x35\x62\x5c\xc8\xf7\x46\xb3\xfe\x05\xda\xef\x23\x3d\x9f\xd9\x01\x3e\x2b\xf3\x9b\x6a\x24"
    "\xae",
    70);

}  // namespace zelkupd::test
