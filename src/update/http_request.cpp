#include "update/http_request.h"

#include <utility>

#include "update/http_range.h"

namespace zelkupd {
namespace {

constexpr std::int32_t kSchemeHttp = 3;
constexpr std::int32_t kSchemeHttps = 4;
// INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT |
// INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI: always from the server
// and never into the cache, redirects left to Open, no cookies sent or kept, no logon offered to
// wherever a redirect points, no dialog.
constexpr std::uint32_t kFlagNoAuth = 0x00040000;
constexpr std::uint32_t kRequestFlags =
    0x80000000 | 0x04000000 | 0x00200000 | 0x00080000 | kFlagNoAuth | 0x200;
constexpr std::uint32_t kFlagSecure = 0x00800000;
constexpr std::uint32_t kOptionReceiveTimeout = 6;
constexpr std::uint32_t kOptionRequestFlags = 23;  // INTERNET_OPTION_REQUEST_FLAGS
constexpr std::uint32_t kRequestFlagViaProxy = 4;  // INTERNET_REQFLAG_VIA_PROXY
constexpr std::uint32_t kOptionUserName = 28;
constexpr std::uint32_t kOptionPassword = 29;
constexpr std::uint32_t kStatusProxyLogon = 407;
// The site's name and password on a request that lets WinINet log on to the proxy: with them set,
// a site's 401 is answered with this, never with the user's Windows logon.
constexpr char16_t kNobody[] = u"zelkupd";
constexpr std::uint32_t kQueryFlagNumber = 0x20000000;
constexpr std::uint32_t kQueryStatusCode = 19;
constexpr std::uint32_t kQueryLocation = 33;

bool IsRedirect(std::uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

THttpRequest::THttpRequest(Platform& system, TInetHandle session, const std::u16string& url,
                           const std::u16string& headers)
    : FSystem(system) {
  FOpen = Open(session, url, headers);
  if (FOpen) {
    QueryContentLength();
  }
}

THttpRequest::~THttpRequest() {
  Close();
}

void THttpRequest::Close() {
  FSystem.InternetCloseHandle(FHandle);
  FSystem.InternetCloseHandle(FConnection);
  FHandle = nullptr;
  FConnection = nullptr;
}

// WinINet's own following of redirects has no limit in every WinINet (Wine's goes on for ever) and
// checks no scheme, so each hop is a request of its own, made and checked like the first. A hop
// from https to http would hand what comes to anyone on the path; one from http to https only
// makes it safer.
bool THttpRequest::Open(TInetHandle session, const std::u16string& url,
                        const std::u16string& headers) {
  std::u16string current = url;
  bool secure = false;
  for (std::uint32_t redirects = 0;; ++redirects) {
    TUrlParts parts;
    if (!FSystem.CrackUrl(current, parts) ||
        (parts.Scheme != kSchemeHttps && (secure || parts.Scheme != kSchemeHttp))) {
      return false;
    }
    secure = parts.Scheme == kSchemeHttps;
    if (!Send(session, parts, headers)) {
      return false;
    }
    if (!IsRedirect(FStatus)) {
      return true;
    }
    std::u16string location;
    std::u16string next;
    if (redirects == kMaxRedirects ||
        !FSystem.HttpQueryInfoText(FHandle, kQueryLocation, location) ||
        !FSystem.CombineUrl(current, location, next)) {
      return false;
    }
    current = std::move(next);
  }
}

// The steps of InternetOpenUrlW, which gives no handle before it has sent the request and so no
// chance to set its receive timeout; a timeout set on the session is not passed on to its
// requests by every WinINet (Wine's keeps none). Any request made before is closed first.
// Wine's WinINet sends the URL's extra information as cracked, a fragment included, so a
// "name.zip#x" would ask for another object than "name.zip" (and its signature for
// "name.zip#x.sig"); the fragment is cut here, as a browser cuts it.
// A company proxy may want the user's Windows logon or credentials Windows keeps for it, and
// INTERNET_FLAG_NO_AUTH stops WinINet from answering its 407 as it answers a site's 401. So a 407
// to an http request that came through the system's proxy is asked once more with WinINet left
// to log on, the site's own logon set to one of nobody's. A 407 without a proxy is a site's, and
// stays unanswered. So does one to an https request: it may come from the site inside the
// tunnel, which nothing in the answer tells apart from the proxy's refusal of the tunnel, and
// Wine's WinINet, logged on to the proxy, then asks for the tunnel again and again without end.
bool THttpRequest::Send(TInetHandle session, const TUrlParts& parts,
                        const std::u16string& headers) {
  const std::uint32_t flags =
      parts.Scheme == kSchemeHttps ? kRequestFlags | kFlagSecure : kRequestFlags;
  if (!SendOnce(session, parts, headers, flags)) {
    return false;
  }
  std::uint32_t requestFlags = 0;
  if (FStatus != kStatusProxyLogon || parts.Scheme != kSchemeHttp ||
      !FSystem.QueryInternetOptionNumber(FHandle, kOptionRequestFlags, requestFlags) ||
      (requestFlags & kRequestFlagViaProxy) == 0) {
    return true;
  }
  return SendOnce(session, parts, headers, flags & ~kFlagNoAuth);
}

bool THttpRequest::SendOnce(TInetHandle session, const TUrlParts& parts,
                            const std::u16string& headers, std::uint32_t flags) {
  Close();
  FStatus = 0;
  FConnection = FSystem.ConnectHttp(session, parts.Host, parts.Port);
  if (FConnection == nullptr) {
    return false;
  }
  FHandle =
      FSystem.OpenHttpRequest(FConnection, parts.Object.substr(0, parts.Object.find(u'#')), flags);
  if (FHandle == nullptr ||
      !FSystem.SetInternetOptionNumber(FHandle, kOptionReceiveTimeout, kReceiveTimeoutMs) ||
      ((flags & kFlagNoAuth) == 0 &&
       (!FSystem.SetInternetOptionText(FHandle, kOptionUserName, kNobody) ||
        !FSystem.SetInternetOptionText(FHandle, kOptionPassword, kNobody))) ||
      !FSystem.SendHttpRequest(FHandle, headers)) {
    return false;
  }
  FSystem.HttpQueryInfoNumber(FHandle, kQueryStatusCode | kQueryFlagNumber, FStatus);
  return true;
}

std::optional<std::u16string> THttpRequest::Header(std::uint32_t level) const {
  std::u16string value;
  if (!FSystem.HttpQueryInfoText(FHandle, level, value)) {
    return std::nullopt;
  }
  return value;
}

void THttpRequest::QueryContentLength() {
  const auto text = Header(kQueryContentLength);
  if (text) {
    FLength = ParseDecimal64(*text);
    FLengthUnreadable = !FLength;
  }
}

bool THttpRequest::Read(char* buffer, std::uint32_t size, std::uint32_t& bytesRead) const {
  bytesRead = 0;
  return FSystem.InternetReadFile(FHandle, buffer, size, bytesRead);
}

}  // namespace zelkupd
