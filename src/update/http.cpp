#include "update/http.h"

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "runtime/crypto.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "runtime/stream.h"
#include "update/dialogs.h"
#include "update/release_signature.h"
#include "update/signature_der.h"

namespace zelkupd {
namespace {

constexpr std::uint32_t kReadBlockSize = 10240;
constexpr std::uint32_t kFlagReload = 0x80000000;  // always from the server, never a cache
constexpr std::uint32_t kQueryFlagNumber = 0x20000000;
constexpr std::uint32_t kQueryStatusCode = 19;
constexpr std::uint32_t kQueryContentLength = 5;
constexpr std::uint32_t kStatusOk = 200;
constexpr char16_t kCannotWrite[] = u"ローカルディスクに書き込みが出来ません.";

// The request of one transfer. Its handle is closed when the transfer returns, whichever way it
// returns, and also when the open failed: closing a null handle is harmless.
class TRequest {
 public:
  TRequest(Platform& system, TInetHandle session, const std::u16string& url)
      : FSystem(system), FHandle(system.OpenInternetUrl(session, url, kFlagReload)) {}
  ~TRequest() { FSystem.InternetCloseHandle(FHandle); }
  TRequest(const TRequest&) = delete;
  TRequest& operator=(const TRequest&) = delete;

  bool IsOpen() const { return FHandle != nullptr; }

  // The HTTP status; 0 when it cannot be read, which fails like any status but 200, redirects
  // included.
  std::uint32_t Status() const {
    std::uint32_t status = 0;
    QueryNumber(kQueryStatusCode, status);
    return status;
  }

  // The numeric header `level` into `value`, which keeps what it held when the query fails.
  bool QueryNumber(std::uint32_t level, std::uint32_t& value) const {
    return FSystem.HttpQueryInfoNumber(FHandle, level | kQueryFlagNumber, value);
  }

  // One block into `buffer`; false when the read failed.
  bool Read(char* buffer, std::uint32_t& bytesRead) const {
    bytesRead = 0;
    return FSystem.InternetReadFile(FHandle, buffer, kReadBlockSize, bytesRead);
  }

 private:
  Platform& FSystem;
  TInetHandle FHandle;
};

// A fresh buffer for each transfer; null when memory is short, which the transfers treat as
// nothing read rather than as an error.
std::unique_ptr<char[]> AllocateReadBuffer() {
  return std::unique_ptr<char[]>(new (std::nothrow) char[kReadBlockSize]);
}

enum class TTransferEnd { Complete, Broken, Stopped };

// Hands each block of the body to `take` (its byte count; the bytes are in `buffer`) until the body
// ends, a read fails (Broken) or `take` returns false (Stopped). Without a Content-Length only a
// failed read shows a break; with one, a body that ends early does too, since WinINet reports such
// a body as ending normally.
template <typename TTake>
TTransferEnd ReadBody(const TRequest& request, char* buffer, TTake take) {
  std::uint32_t announced = 0;
  const bool hasLength = request.QueryNumber(kQueryContentLength, announced);
  std::uint64_t received = 0;
  for (;;) {
    std::uint32_t bytesRead = 0;
    if (!request.Read(buffer, bytesRead)) {
      return TTransferEnd::Broken;
    }
    if (bytesRead == 0) {
      break;
    }
    if (!take(bytesRead)) {
      return TTransferEnd::Stopped;
    }
    received += bytesRead;
  }
  return hasLength && received < announced ? TTransferEnd::Broken : TTransferEnd::Complete;
}

// Opens TargetUrl and copies its body into `part`, the archive's replacement file, made new here,
// and, when given, into `hash`, one "#" per block, ending the row of marks. True when the status
// was 200 and the whole body arrived; otherwise the failure is printed, except for a read buffer
// that could not be had.
bool ReceiveArchive(TRunContext& ctx, std::optional<TReplacementFile>& part, TSha256* hash) {
  const TRequest request(ctx.System, ctx.State.hInternet, ctx.State.TargetUrl);
  if (!request.IsOpen() || request.Status() != kStatusOk) {
    ReportNotObtained(ctx);
    return false;
  }
  try {
    part.emplace(ctx.State.ArchivePath);
  } catch (const EFCreateError&) {
    ctx.Console.PrintLine(kCannotWrite);
    return false;
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer) {
    return false;
  }
  const TTransferEnd end = ReadBody(request, buffer.get(), [&](std::uint32_t count) {
    try {
      part->Stream().WriteBuffer(buffer.get(), count);
    } catch (const EWriteError&) {
      return false;
    }
    if (hash != nullptr) {
      hash->Update(buffer.get(), count);
    }
    ctx.Console.PrintText(u"#");
    return true;
  });
  ctx.Console.PrintLine(u"");
  if (end == TTransferEnd::Broken) {
    ReportNotObtained(ctx);
  } else if (end == TTransferEnd::Stopped) {
    ctx.Console.PrintLine(kCannotWrite);
  }
  return end == TTransferEnd::Complete;
}

// The signature at `url`, asked for as the archive was: its bytes when the answer's status is 200
// and its whole body arrived, no longer than any signature; otherwise nullopt. Prints nothing.
std::optional<std::string> FetchSignature(TRunContext& ctx, const std::u16string& url) {
  const TRequest request(ctx.System, ctx.State.hInternet, url);
  if (!request.IsOpen() || request.Status() != kStatusOk) {
    return std::nullopt;
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer) {
    return std::nullopt;
  }
  std::string bytes;
  const TTransferEnd end = ReadBody(request, buffer.get(), [&](std::uint32_t count) {
    bytes.append(buffer.get(), count);
    return bytes.size() <= kMaxDerSignatureSize;
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
  const TRequest request(ctx.System, s.hInternet, s.TargetUrl);
  if (!request.IsOpen()) {
    ReportNotObtained(ctx);
    return;
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer) {
    return;
  }
  // A failed read delivers nothing and so ends the page like its end: what came before is kept.
  for (;;) {
    std::uint32_t bytesRead = 0;
    request.Read(buffer.get(), bytesRead);
    if (bytesRead == 0) {
      break;
    }
    const std::string_view block(buffer.get(), bytesRead);
    s.PageText.append(block.substr(0, block.find('\0')));
  }
}

void DownloadArchive(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  ctx.Console.PrintLine(s.TargetUrl + u" を取得中...");
  std::optional<TReplacementFile> part;
  std::optional<TSha256> hash;
  if (SignaturesRequired(ctx)) {
    hash.emplace();
  }
  if (!ReceiveArchive(ctx, part, hash ? &*hash : nullptr)) {
    return;
  }
  // Checked before the part file takes the archive's name, so that an archive that fails leaves
  // nothing of itself behind and an earlier file of that name stays as it was.
  if (hash && !CheckArchiveSignature(ctx, hash->Finish(),
                                     FetchSignature(ctx, s.TargetUrl + kSignatureSuffix))) {
    return;
  }
  if (!part->Stream().FlushToDisk() || !part->MoveOver()) {
    ctx.Console.PrintLine(kCannotWrite);
    return;
  }
  s.Downloaded = true;
}

void CloseInternet(TRunContext& ctx) {
  ctx.System.InternetCloseHandle(ctx.State.hInternet);
}

}  // namespace zelkupd
