// The release author's signature on an archive, asked for only when the program was built with a
// release key: a detached DER ECDSA P-256 signature, as `openssl dgst -sha256 -sign` writes it, at
// the archive's URL or path with ".sig" added. What is signed binds the archive's file name to its
// bytes (scripts/sign-release makes it): the line "zelkupd release 1", the file name in UTF-8 and
// a line end, then the archive's SHA-256 (32 bytes). So a page cannot offer one signed release
// under another's name, and a signature of the bytes alone, the form before, verifies nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/crypto.h"
#include "runtime/stream.h"
#include "update/run_context.h"

namespace zelkupd {

inline constexpr char16_t kSignatureSuffix[] = u".sig";

// True when the build has a release key, so that no archive is installed without its signature.
bool SignaturesRequired(const TRunContext& ctx);

// Whether `signature` (the signature's bytes; nullopt when none could be had) is the release
// author's signature of the archive called `name` whose SHA-256 is `digest` (nullopt when it could
// not be hashed). Prints "アーカイブの署名を確認しました." or
// "アーカイブの署名を確認出来ませんでした.".
bool CheckArchiveSignature(TRunContext& ctx, std::u16string_view name,
                           const std::optional<TSha256Digest>& digest,
                           const std::optional<std::string>& signature);

// CheckArchiveSignature for the local archive ArchivePath, under its own file name as the file
// system keeps it (so "ZELK32~1.ZIP" or another letter case on the command line changes nothing),
// and the file ArchivePath + ".sig" beside it; ArchivePath is already the long path, so a short
// name on the command line finds the signature under the long one. The archive is read once, hashed
// and copied into the copy that will be installed (verified_copy.h), which is VerifiedCopy once the
// check has passed; a file that cannot be read fails the check, a copy that cannot be made or
// written prints "ローカルディスクに書き込みが出来ません." instead.
bool CheckLocalArchiveSignature(TRunContext& ctx);

// The SHA-256 of a file, read in pieces of 64 KiB, each written to `copy` as well when given;
// nullopt when the file cannot be opened or a read fails. A write to `copy` that fails raises
// EWriteError.
std::optional<TSha256Digest> HashFile(const std::u16string& path, TStream* copy = nullptr);

}  // namespace zelkupd
