#include "update/http_request.h"

namespace zelkupd {
namespace {

constexpr std::int32_t kSchemeHttp = 3;
constexpr std::int32_t kSchemeHttps = 4;
// INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
// INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI: always from the server and never into the cache,
// no cookies sent or kept, no logon offered to wherever a redirect points, no dialog.
constexpr std::uint32_t kRequestFlags = 0x80000000 | 0x04000000 | 0x00080000 | 0x00040000 | 0x200;
constexpr std::uint32_t kFlagSecure = 0x00800000;
constexpr std::uint32_t kOptionReceiveTimeout = 6;
constexpr std::uint32_t kOptionSecurityFlags = 31;
constexpr std::uint32_t kSecurityFlagSecure = 0x1;
constexpr std::uint32_t kQueryFlagNumber = 0x20000000;
constexpr std::uint32_t kQueryStatusCode = 19;
constexpr std::uint32_t kQueryContentLength = 5;

}  // namespace

THttpRequest::THttpRequest(Platform& system, TInetHandle session, const std::u16string& url)
    : FSystem(system) {
  FOpen = Open(session, url);
}

THttpRequest::~THttpRequest() {
  FSystem.InternetCloseHandle(FHandle);
  FSystem.InternetCloseHandle(FConnection);
}

// The steps of InternetOpenUrlW, which gives no handle before it has sent the request and so no
// chance to set its receive timeout; a timeout set on the session is not passed on to its
// requests by every WinINet (Wine's keeps none).
bool THttpRequest::Open(TInetHandle session, const std::u16string& url) {
  TUrlParts parts;
  if (!FSystem.CrackUrl(url, parts) ||
      (parts.Scheme != kSchemeHttp && parts.Scheme != kSchemeHttps)) {
    return false;
  }
  const bool secure = parts.Scheme == kSchemeHttps;
  FConnection = FSystem.ConnectHttp(session, parts.Host, parts.Port);
  if (FConnection == nullptr) {
    return false;
  }
  FHandle = FSystem.OpenHttpRequest(FConnection, parts.Object,
                                    secure ? kRequestFlags | kFlagSecure : kRequestFlags);
  if (FHandle == nullptr ||
      !FSystem.SetInternetOptionNumber(FHandle, kOptionReceiveTimeout, kReceiveTimeoutMs) ||
      !FSystem.SendHttpRequest(FHandle)) {
    return false;
  }
  // WinINet follows redirects itself; one that left https would hand what comes to anyone on the
  // path, and the request is then as if it had never been answered. What tells is the connection
  // the answer came over: Wine still names the https URL after a redirect to http on the same
  // host and port.
  std::uint32_t security = 0;
  return !secure || (FSystem.QueryInternetOptionNumber(FHandle, kOptionSecurityFlags, security) &&
                     (security & kSecurityFlagSecure) != 0);
}

std::uint32_t THttpRequest::Status() const {
  std::uint32_t status = 0;
  FSystem.HttpQueryInfoNumber(FHandle, kQueryStatusCode | kQueryFlagNumber, status);
  return status;
}

bool THttpRequest::QueryContentLength(std::uint32_t& length) const {
  return FSystem.HttpQueryInfoNumber(FHandle, kQueryContentLength | kQueryFlagNumber, length);
}

bool THttpRequest::Read(char* buffer, std::uint32_t size, std::uint32_t& bytesRead) const {
  bytesRead = 0;
  return FSystem.InternetReadFile(FHandle, buffer, size, bytesRead);
}

}  // namespace zelkupd
