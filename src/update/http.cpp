#include "update/http.h"

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/stream.h"
#include "runtime/text.h"
#include "update/dialogs.h"

namespace zelkupd {
namespace {

constexpr std::uint32_t kReadBlockSize = 10240;
constexpr std::uint32_t kFlagReload = 0x80000000;  // always from the server, never a cache
constexpr std::uint32_t kQueryFlagNumber = 0x20000000;
constexpr std::uint32_t kQueryStatusCode = 19;
constexpr std::uint32_t kQueryContentLength = 5;
constexpr std::uint32_t kStatusOk = 200;
constexpr char16_t kCannotWrite[] = u"ローカルディスクに書き込みが出来ません.";
constexpr int kMaxPartNames = 100;

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

// The part file's name in the order of trying: the archive's name with kPartSuffix, then with
// ".2" and kPartSuffix, and so on.
std::u16string PartFileName(const std::u16string& archivePath, int number) {
  std::u16string name = archivePath;
  if (number > 1) {
    name += u'.';
    name += IntToText(number);
  }
  name += kPartSuffix;
  return name;
}

// The archive while it arrives, in a file of its own beside it: ArchivePath + kPartSuffix or, when
// something already has that name, the next free one of ArchivePath + ".2" + kPartSuffix and so
// on. The file is always created new, so a file of that name that is not this run's own is never
// opened, written or removed. Removed again unless Commit moved it over the archive, so that no
// path leaves a part file behind.
class TPartFile {
 public:
  // Raises EFCreateError when the file cannot be created, or when every name is taken.
  explicit TPartFile(const std::u16string& archivePath) {
    for (int number = 1;; ++number) {
      FPath = PartFileName(archivePath, number);
      try {
        FStream = std::make_unique<TFileStream>(FPath, kCreateNewWriteShareRead);
        return;
      } catch (const EFCreateError&) {
        TFoundFile taken;
        if (number == kMaxPartNames || !FindFile(FPath, taken)) {
          throw;
        }
      }
    }
  }
  ~TPartFile() {
    FStream.reset();
    if (!FCommitted) {
      RemoveFile(FPath);
    }
  }
  TPartFile(const TPartFile&) = delete;
  TPartFile& operator=(const TPartFile&) = delete;

  // Raises EWriteError when the disk takes fewer bytes.
  void Write(const char* bytes, std::uint32_t count) { FStream->WriteBuffer(bytes, count); }

  // Puts the complete file in place of `target`; false when it could not be flushed or moved.
  bool Commit(std::u16string_view target) {
    const bool flushed = FStream->FlushToDisk();
    FStream.reset();
    FCommitted = flushed && MoveFileOver(FPath, target);
    return FCommitted;
  }

 private:
  std::u16string FPath;
  std::unique_ptr<TFileStream> FStream;
  bool FCommitted = false;
};

enum class TTransferEnd { Complete, Broken, WriteFailed };

// Copies the body into the part file, one "#" per block, and ends the row of marks.
TTransferEnd ReceiveBody(TRunContext& ctx, const TRequest& request, char* buffer, TPartFile& part) {
  // Without a Content-Length only a failed read shows a break; with one, a body that ends early
  // does too, since WinINet reports such a body as ending normally.
  std::uint32_t announced = 0;
  const bool hasLength = request.QueryNumber(kQueryContentLength, announced);
  std::uint64_t received = 0;
  TTransferEnd end = TTransferEnd::Complete;
  for (;;) {
    std::uint32_t bytesRead = 0;
    if (!request.Read(buffer, bytesRead)) {
      end = TTransferEnd::Broken;
      break;
    }
    if (bytesRead == 0) {
      break;
    }
    try {
      part.Write(buffer, bytesRead);
    } catch (const EWriteError&) {
      end = TTransferEnd::WriteFailed;
      break;
    }
    received += bytesRead;
    ctx.Console.PrintText(u"#");
  }
  ctx.Console.PrintLine(u"");
  if (end == TTransferEnd::Complete && hasLength && received < announced) {
    end = TTransferEnd::Broken;
  }
  return end;
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
  const TRequest request(ctx.System, s.hInternet, s.TargetUrl);
  if (!request.IsOpen()) {
    ReportNotObtained(ctx);
    return;
  }
  // A status that cannot be read stays 0 and fails like any status but 200, redirects included.
  std::uint32_t status = 0;
  request.QueryNumber(kQueryStatusCode, status);
  if (status != kStatusOk) {
    ReportNotObtained(ctx);
    return;
  }
  std::optional<TPartFile> part;
  try {
    part.emplace(s.ArchivePath);
  } catch (const EFCreateError&) {
    ctx.Console.PrintLine(kCannotWrite);
    return;
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer) {
    return;
  }
  switch (ReceiveBody(ctx, request, buffer.get(), *part)) {
    case TTransferEnd::Broken:
      ReportNotObtained(ctx);
      return;
    case TTransferEnd::WriteFailed:
      ctx.Console.PrintLine(kCannotWrite);
      return;
    case TTransferEnd::Complete:
      break;
  }
  if (!part->Commit(s.ArchivePath)) {
    ctx.Console.PrintLine(kCannotWrite);
    return;
  }
  s.Downloaded = true;
}

void CloseInternet(TRunContext& ctx) {
  ctx.System.InternetCloseHandle(ctx.State.hInternet);
}

}  // namespace zelkupd
