#include "update/release_signature.h"

#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/text.h"
#include "update/dialogs.h"
#include "update/signature_der.h"
#include "update/verified_copy.h"

namespace zelkupd {
namespace {

constexpr std::size_t kHashBlockSize = 65536;
constexpr std::string_view kMessageLabel = "zelkupd release 1\n";

// The digest the signature signs: of the label, the name and the archive's digest.
std::optional<TSha256Digest> MessageDigest(std::u16string_view name, const TSha256Digest& archive) {
  TSha256 hash;
  const std::string utf8 = Utf16ToUtf8(name) + "\n";
  hash.Update(kMessageLabel.data(), kMessageLabel.size());
  hash.Update(utf8.data(), utf8.size());
  hash.Update(archive.data(), archive.size());
  return hash.Finish();
}

// The signature file's bytes; nullopt when it cannot be opened or read, or is longer than any
// signature.
std::optional<std::string> ReadSignatureFile(const std::u16string& path) {
  try {
    TFileStream file(path, kOpenReadShareRead);
    std::string bytes(kMaxDerSignatureSize + 1, '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    if (bytes.size() > kMaxDerSignatureSize) {
      return std::nullopt;
    }
    return bytes;
  } catch (const EStreamError&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<TSha256Digest> HashFile(const std::u16string& path, TStream* copy) {
  try {
    TFileStream file(path, kOpenReadShareRead);
    TSha256 hash;
    std::vector<char> block(kHashBlockSize);
    for (;;) {
      const std::size_t count = file.Read(block.data(), block.size());
      if (count == 0) {
        break;
      }
      hash.Update(block.data(), count);
      if (copy != nullptr) {
        copy->WriteBuffer(block.data(), count);
      }
    }
    return hash.Finish();
  } catch (const EFOpenError&) {
    return std::nullopt;
  } catch (const EReadError&) {
    return std::nullopt;
  }
}

bool SignaturesRequired(const TRunContext& ctx) {
  return ctx.ReleaseKey != nullptr;
}

bool CheckArchiveSignature(TRunContext& ctx, std::u16string_view name,
                           const std::optional<TSha256Digest>& digest,
                           const std::optional<std::string>& signature) {
  const std::optional<TEcSignature> rs =
      signature ? ParseDerSignature(*signature) : std::optional<TEcSignature>();
  const std::optional<TSha256Digest> message =
      digest ? MessageDigest(name, *digest) : std::optional<TSha256Digest>();
  const bool verified =
      ctx.ReleaseKey != nullptr && message && rs && VerifyEcdsaP256(*ctx.ReleaseKey, *message, *rs);
  ctx.Console.PrintLine(verified ? u"アーカイブの署名を確認しました."
                                 : u"アーカイブの署名を確認出来ませんでした.");
  return verified;
}

bool CheckLocalArchiveSignature(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  std::unique_ptr<TFileStream> copy;
  std::optional<TSha256Digest> digest;
  try {
    copy = CreateVerifiedCopy(s.ProgramDir);
    digest = HashFile(s.ArchivePath, copy.get());
  } catch (const EStreamError&) {
    ReportCannotWrite(ctx);
    return false;
  }
  TFoundFile found;
  const std::u16string name =
      FindFile(s.ArchivePath, found) ? found.Name : ExtractFileName(s.ArchivePath);
  if (!CheckArchiveSignature(ctx, name, digest,
                             ReadSignatureFile(s.ArchivePath + kSignatureSuffix))) {
    return false;
  }
  s.VerifiedCopy = std::move(copy);
  return true;
}

}  // namespace zelkupd
