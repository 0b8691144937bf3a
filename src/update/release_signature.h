// The release author's signature on an archive, asked for only when the program was built with a
// release key: a detached DER ECDSA P-256 signature over the archive's SHA-256, as
// `openssl dgst -sha256 -sign` writes it, at the archive's URL or path with ".sig" added.
#pragma once

#include <optional>
#include <string>

#include "runtime/crypto.h"
#include "update/run_context.h"

namespace zelkupd {

inline constexpr char16_t kSignatureSuffix[] = u".sig";

// True when the build has a release key, so that no archive is installed without its signature.
bool SignaturesRequired(const TRunContext& ctx);

// Whether `signature` (the signature's bytes; nullopt when none could be had) is the release
// author's signature of the archive whose SHA-256 is `digest` (nullopt when it could not be
// hashed). Prints "アーカイブの署名を確認しました." or "アーカイブの署名を確認出来ませんでした.".
bool CheckArchiveSignature(TRunContext& ctx, const std::optional<TSha256Digest>& digest,
                           const std::optional<std::string>& signature);

// CheckArchiveSignature for the local archive ArchivePath and the file ArchivePath + ".sig" beside
// it. The archive is hashed by HashFile; a file that cannot be read fails the check.
bool CheckLocalArchiveSignature(TRunContext& ctx);

// The SHA-256 of a file, read in pieces of 64 KiB; nullopt when it cannot be opened or a read
// fails.
std::optional<TSha256Digest> HashFile(const std::u16string& path);

}  // namespace zelkupd
