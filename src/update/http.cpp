#include "update/http.h"

#include <cstdint>
#include <string_view>

#include "update/dialogs.h"
#include "update/http_request.h"

namespace zelkupd {
namespace {

// What is read of a release page: any real page fits many times over, and a server cannot make
// the run hold or search more.
constexpr std::uint64_t kMaxPageSize = 1024 * 1024;

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

void CloseInternet(TRunContext& ctx) {
  ctx.System.InternetCloseHandle(ctx.State.hInternet);
}

}  // namespace zelkupd
