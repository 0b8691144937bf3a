#include "update/release_signature.h"

#include <vector>

#include "runtime/errors.h"
#include "runtime/stream.h"
#include "update/signature_der.h"

namespace zelkupd {
namespace {

constexpr std::size_t kHashBlockSize = 65536;

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

std::optional<TSha256Digest> HashFile(const std::u16string& path) {
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
    }
    return hash.Finish();
  } catch (const EStreamError&) {
    return std::nullopt;
  }
}

bool SignaturesRequired(const TRunContext& ctx) {
  return ctx.ReleaseKey != nullptr;
}

bool CheckArchiveSignature(TRunContext& ctx, const std::optional<TSha256Digest>& digest,
                           const std::optional<std::string>& signature) {
  const std::optional<TEcSignature> rs =
      signature ? ParseDerSignature(*signature) : std::optional<TEcSignature>();
  const bool verified =
      ctx.ReleaseKey != nullptr && digest && rs && VerifyEcdsaP256(*ctx.ReleaseKey, *digest, *rs);
  ctx.Console.PrintLine(verified ? u"アーカイブの署名を確認しました."
                                 : u"アーカイブの署名を確認出来ませんでした.");
  return verified;
}

bool CheckLocalArchiveSignature(TRunContext& ctx) {
  const std::u16string& archive = ctx.State.ArchivePath;
  return CheckArchiveSignature(ctx, HashFile(archive),
                               ReadSignatureFile(archive + kSignatureSuffix));
}

}  // namespace zelkupd
