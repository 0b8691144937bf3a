// One request over the fake platform: how it is made (flags, receive timeout, the secure flag),
// the redirects it follows and those it does not, and the limit on a body.
#include "update/http_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/text.h"
#include "support/fake_platform.h"

namespace zelkupd {
namespace {

using test::FakePlatform;

// Reload, no cache write, no automatic redirect, no cookies, no automatic logon, no dialog.
constexpr std::uint32_t kRequestFlags = 0x842C0200;
constexpr std::uint32_t kFlagSecure = 0x00800000;

class HttpRequestTest : public ::testing::Test {
 protected:
  HttpRequestTest() : session(fake.OpenInternetSession()) {}
  ~HttpRequestTest() override { fake.InternetCloseHandle(session); }

  // Whether a request of `url` was answered; its handles are closed again.
  bool Answered(const std::u16string& url) {
    const THttpRequest request(fake, session, url);
    return request.IsOpen();
  }

  FakePlatform fake;
  TInetHandle session;
};

TEST_F(HttpRequestTest, EveryRequestIsSentWithTheFlagsAndTheReceiveTimeout) {
  const std::u16string plain = u"http://site.invalid/vum_zelk.html";
  const std::u16string secure = u"https://site.invalid:8443/zip/zelk32_156.zip?v=1";
  fake.Responses[plain] = {};
  fake.Responses[secure] = {};
  EXPECT_TRUE(Answered(plain));
  EXPECT_TRUE(Answered(secure));
  EXPECT_EQ(fake.OpenUrlFlags,
            (std::vector<std::uint32_t>{kRequestFlags, kRequestFlags | kFlagSecure}));
  EXPECT_EQ(fake.SentReceiveTimeouts, (std::vector<std::uint32_t>{30000, 30000}));
  EXPECT_EQ(fake.CallCount("InternetConnect site.invalid 80"), 1);
  EXPECT_EQ(fake.CallCount("InternetConnect site.invalid 8443"), 1);
  EXPECT_EQ(fake.CallCount("HttpOpenRequest /zip/zelk32_156.zip?v=1 " +
                           std::to_string(kRequestFlags | kFlagSecure)),
            1);
  EXPECT_EQ(fake.OpenInetHandles, 1) << "only the session is left open";
}

// Each redirect is a request of its own, made as the first was, with the secure flag of its own
// scheme, to its Location taken against the URL that answered; the tenth is the last followed.
TEST_F(HttpRequestTest, RedirectsAreRequestsOfTheirOwnAndTenAreFollowedAtTheMost) {
  const std::u16string first = u"http://site.invalid/zip/zelk32_156.zip";
  const std::u16string mirror = u"https://mirror.invalid/a/";
  fake.Responses[first] = {.Status = 302, .Location = mirror + u"1"};
  std::vector<std::u16string> asked = {first, mirror + u"1"};
  const std::uint32_t statuses[] = {301, 302, 303, 307, 308};
  for (const char16_t* next : {u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10"}) {
    fake.Responses[asked.back()] = {.Status = statuses[asked.size() % 5], .Location = next};
    asked.push_back(mirror + next);
  }
  fake.Responses[asked.back()] = {.Status = 200};
  {
    const THttpRequest request(fake, session, first);
    EXPECT_TRUE(request.IsOpen());
    EXPECT_EQ(request.Status(), 200u);
  }
  EXPECT_EQ(fake.OpenedUrls, asked);
  std::vector<std::uint32_t> flags{kRequestFlags};
  flags.resize(asked.size(), kRequestFlags | kFlagSecure);
  EXPECT_EQ(fake.OpenUrlFlags, flags);
  EXPECT_EQ(fake.SentReceiveTimeouts, std::vector<std::uint32_t>(asked.size(), 30000));

  fake.OpenedUrls.clear();
  fake.Responses[asked.back()] = {.Status = 307, .Location = u"/a/beyond"};
  fake.Responses[u"https://mirror.invalid/a/beyond"] = {};
  EXPECT_FALSE(Answered(first)) << "an eleventh redirect is not followed";
  EXPECT_EQ(fake.OpenedUrls, asked);
  EXPECT_EQ(fake.OpenInetHandles, 1) << "every hop's handles are closed";
}

TEST_F(HttpRequestTest, ARedirectFromHttpsToHttpOrToAnotherSchemeOrNowhereIsNotFollowed) {
  const std::u16string secure = u"https://site.invalid/zip/zelk32_156.zip";
  const std::u16string plain = u"http://site.invalid/zip/zelk32_156.zip";
  fake.Responses[plain] = {};
  for (const char16_t* location :
       {u"http://site.invalid/zip/zelk32_156.zip", u"HTTP://SITE.INVALID/zip/zelk32_156.zip",
        u"ftp://site.invalid/zelk32_156.zip", u""}) {
    fake.Responses[secure] = {.Status = 302, .Location = location};
    EXPECT_FALSE(Answered(secure)) << Utf16ToUtf8(location);
  }
  fake.Responses[u"http://elsewhere.invalid/a"] = {.Status = 301, .Location = secure};
  fake.Responses[secure] = {.Status = 308, .Location = plain};
  EXPECT_FALSE(Answered(u"http://elsewhere.invalid/a")) << "http, then https, then http";
  EXPECT_EQ(fake.CallCount("InternetConnect site.invalid 80"), 0);
  EXPECT_EQ(fake.OpenInetHandles, 1);
}

TEST_F(HttpRequestTest, OnlyHttpAndHttpsUrlsAreAsked) {
  for (const char16_t* url :
       {u"ftp://site.invalid/vum_zelk.html", u"file://C:/vum_zelk.html", u"C:\\vum_zelk.html"}) {
    fake.Responses[url] = {};
    EXPECT_FALSE(Answered(url));
  }
  EXPECT_EQ(fake.CallCount("HttpSendRequest"), 0);
  EXPECT_EQ(fake.OpenInetHandles, 1);
}

// A proxy that wants a logon is answered, once, by WinINet, with a name of nobody's set for the
// site; a 407 that did not come through the proxy is a site's and is never answered.
TEST_F(HttpRequestTest, OnlyTheSystemsProxyIsLoggedOnTo) {
  const std::u16string url = u"http://site.invalid/zip/zelk32_156.zip";
  fake.Responses[url] = {.ViaProxy = true, .ProxyWantsLogon = true};
  {
    const THttpRequest request(fake, session, url);
    EXPECT_EQ(request.Status(), 200u);
  }
  constexpr std::uint32_t kFlagNoAuth = 0x00040000;
  EXPECT_EQ(fake.OpenUrlFlags,
            (std::vector<std::uint32_t>{kRequestFlags, kRequestFlags & ~kFlagNoAuth}));
  // The site's name and password are set once, before the second request is sent.
  const auto lastSent =
      std::find(fake.Calls.rbegin(), fake.Calls.rend(), std::string("HttpSendRequest")).base();
  EXPECT_EQ(fake.CallCount("HttpSendRequest"), 2);
  for (const char* option : {"InternetSetOption 28 zelkupd", "InternetSetOption 29 zelkupd"}) {
    EXPECT_EQ(std::count(fake.Calls.begin(), lastSent, option), 1) << option;
  }
  EXPECT_EQ(fake.OpenInetHandles, 1);

  fake.OpenUrlFlags.clear();
  fake.Responses[url] = {.ProxyWantsLogon = true};
  {
    const THttpRequest request(fake, session, url);
    EXPECT_EQ(request.Status(), 407u);
  }
  EXPECT_EQ(fake.OpenUrlFlags, std::vector<std::uint32_t>{kRequestFlags});
}

// Whatever the body and however it comes in blocks, the caller gets exactly its bytes up to the
// limit, never asks for more than one byte past it, and hears whether the body ran on.
TEST_F(HttpRequestTest, ABodyIsTakenUpToTheLimitAndNoFurther) {
  const std::string body = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  for (std::size_t size : {0u, 1u, 10u, 11u, 25u, 40u}) {
    for (std::size_t blockSize : {1u, 3u, 10u, 40u}) {
      for (std::size_t limit = 0; limit <= 42; ++limit) {
        SCOPED_TRACE(std::to_string(size) + " bytes in blocks of " + std::to_string(blockSize) +
                     ", limit " + std::to_string(limit));
        const std::string whole = body.substr(0, size);
        FakePlatform::TResponse response;
        for (std::size_t at = 0; at < size; at += blockSize) {
          response.Blocks.push_back(whole.substr(at, blockSize));
        }
        const std::u16string url = u"http://site.invalid/zip/zelk32_156.zip";
        fake.Responses[url] = response;
        fake.Calls.clear();
        const THttpRequest request(fake, session, url);
        std::string taken;
        char buffer[kReadBlockSize];
        const TTransferEnd end = request.ReadBody(buffer, limit, [&](std::uint32_t count) {
          taken.append(buffer, count);
          return true;
        });
        EXPECT_EQ(taken, whole.substr(0, static_cast<std::size_t>(limit)));
        EXPECT_EQ(end, size > limit ? TTransferEnd::TooLong : TTransferEnd::Complete);
        std::uint64_t asked = 0;
        for (const std::string& call : fake.Calls) {
          if (call.starts_with("InternetReadFile ")) {
            asked = std::max<std::uint64_t>(asked, std::stoull(call.substr(17)));
          }
        }
        EXPECT_LE(asked, limit + 1);
      }
    }
  }
}

}  // namespace
}  // namespace zelkupd
