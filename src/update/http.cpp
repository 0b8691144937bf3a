#include "update/http.h"

namespace zelkupd {

bool OpenInternet(TRunContext& ctx) {
  ctx.State.hInternet = ctx.System.OpenInternetSession();
  return ctx.State.hInternet != nullptr;
}

void FetchPage(TRunContext& ctx) {
  ctx.State.PageText.clear();
}

void DownloadArchive(TRunContext& /*ctx*/) {}

void CloseInternet(TRunContext& ctx) {
  ctx.System.InternetCloseHandle(ctx.State.hInternet);
}

}  // namespace zelkupd
