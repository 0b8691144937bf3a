#include "update/http.h"

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "runtime/crypto.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "runtime/stream.h"
#include "update/dialogs.h"
#include "update/http_request.h"
#include "update/release_signature.h"
#include "update/signature_der.h"
#include "update/verified_copy.h"

namespace zelkupd {
namespace {

// What is read of a release page: any real page fits many times over, and a server cannot make
// the run hold or search more.
constexpr std::uint64_t kMaxPageSize = 1024 * 1024;
// The largest archive the ZIP reader takes: its offsets and sizes are 32 bits. A body without a
// Content-Length that runs on past it cannot be a release, and would otherwise fill the disk.
constexpr std::uint64_t kMaxArchiveSize = 0xFFFFFFFF;
constexpr std::uint32_t kStatusOk = 200;

// A fresh buffer for each transfer; null when memory is short, which the transfers treat as
// nothing read rather than as an error.
std::unique_ptr<char[]> AllocateReadBuffer() {
  return std::unique_ptr<char[]>(new (std::nothrow) char[kReadBlockSize]);
}

// Where a download's blocks go: the archive's part file and, when signatures are required, the
// hash and the copy that will be installed (verified_copy.h).
struct TIncoming {
  std::optional<TReplacementFile> Part;
  std::optional<TSha256> Hash;
  std::unique_ptr<TFileStream> Copy;
};

// Opens TargetUrl and copies its body into `in`, whose files are made new here, one "#" per block,
// ending the row of marks. True when the status was 200 and the whole body arrived; otherwise the
// failure is printed, except for a read buffer that could not be had.
bool ReceiveArchive(TRunContext& ctx, TIncoming& in) {
  const THttpRequest request(ctx.System, ctx.State.hInternet, ctx.State.TargetUrl);
  if (!request.IsOpen() || request.Status() != kStatusOk) {
    ReportNotObtained(ctx);
    return false;
  }
  try {
    in.Part.emplace(ctx.State.ArchivePath);
    if (SignaturesRequired(ctx)) {
      in.Hash.emplace();
      in.Copy = CreateVerifiedCopy(ctx.State.ProgramDir);
    }
  } catch (const EFCreateError&) {
    ReportCannotWrite(ctx);
    return false;
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer) {
    return false;
  }
  const TTransferEnd end =
      request.ReadBody(buffer.get(), kMaxArchiveSize, [&](std::uint32_t count) {
        try {
          in.Part->Stream().WriteBuffer(buffer.get(), count);
          if (in.Copy) {
            in.Copy->WriteBuffer(buffer.get(), count);
          }
        } catch (const EWriteError&) {
          return false;
        }
        if (in.Hash) {
          in.Hash->Update(buffer.get(), count);
        }
        ctx.Console.PrintText(u"#");
        return true;
      });
  ctx.Console.PrintLine(u"");
  if (end == TTransferEnd::Broken || end == TTransferEnd::TooLong) {
    ReportNotObtained(ctx);
  } else if (end == TTransferEnd::Stopped) {
    ReportCannotWrite(ctx);
  }
  return end == TTransferEnd::Complete;
}

// The signature at `url`, asked for as the archive was: its bytes when the answer's status is 200
// and its whole body arrived, no longer than any signature; otherwise nullopt. Prints nothing.
std::optional<std::string> FetchSignature(TRunContext& ctx, const std::u16string& url) {
  const THttpRequest request(ctx.System, ctx.State.hInternet, url);
  if (!request.IsOpen() || request.Status() != kStatusOk) {
    return std::nullopt;
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer) {
    return std::nullopt;
  }
  std::string bytes;
  const TTransferEnd end =
      request.ReadBody(buffer.get(), kMaxDerSignatureSize, [&](std::uint32_t count) {
        bytes.append(buffer.get(), count);
        return true;
      });
  if (end != TTransferEnd::Complete) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

bool OpenInternet(TRunContext& ctx) {
  ctx.State.hInternet = ctx.System.OpenInternetSession();
  return ctx.State.hInternet != nullptr;
}

void FetchPage(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  s.PageText.clear();
  ctx.Console.PrintLine(s.TargetUrl + u" の情報を取得中...");
  const THttpRequest request(ctx.System, s.hInternet, s.TargetUrl);
  if (!request.IsOpen()) {
    ReportNotObtained(ctx);
    return;
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer) {
    return;
  }
  // However the body ends, what came is the page: a failed read ends it like its end, and a
  // page is its first kMaxPageSize bytes.
  request.ReadBody(buffer.get(), kMaxPageSize, [&](std::uint32_t count) {
    const std::string_view block(buffer.get(), count);
    s.PageText.append(block.substr(0, block.find('\0')));
    return true;
  });
}

void DownloadArchive(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  ctx.Console.PrintLine(s.TargetUrl + u" を取得中...");
  TIncoming in;
  if (!ReceiveArchive(ctx, in)) {
    return;
  }
  // Checked before the part file takes the archive's name, so that an archive that fails leaves
  // nothing of itself behind and an earlier file of that name stays as it was.
  if (in.Hash && !CheckArchiveSignature(ctx, s.NewFile, in.Hash->Finish(),
                                        FetchSignature(ctx, s.TargetUrl + kSignatureSuffix))) {
    return;
  }
  if (!in.Part->Stream().FlushToDisk() || !in.Part->MoveOver()) {
    ReportCannotWrite(ctx);
    return;
  }
  s.Downloaded = true;
  s.VerifiedCopy = std::move(in.Copy);
}

void CloseInternet(TRunContext& ctx) {
  ctx.System.InternetCloseHandle(ctx.State.hInternet);
}

}  // namespace zelkupd
