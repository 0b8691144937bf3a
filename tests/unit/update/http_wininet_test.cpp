// The transfers through the real WinINet against a loopback HTTP server of the test's own, so
// the status and Content-Length queries and the detection of a cut-short body are seen working
// where WinINet itself decides what a read returns.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "support/temp_dir.h"
#include "update/http.h"

namespace zelkupd {
namespace {

using test::TTempDir;

// Serves each connection the canned reply for the path of its request line and then closes it,
// so a reply may end before the length its headers announce.
class TLoopbackServer {
 public:
  explicit TLoopbackServer(std::map<std::string, std::string> replies)
      : FReplies(std::move(replies)) {
    WSADATA data;
    EXPECT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
    FListener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    EXPECT_EQ(::bind(FListener, reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(::listen(FListener, 8), 0);
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &size);
    FPort = ::ntohs(address.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~TLoopbackServer() {
    FStop = true;
    FThread.join();
    ::closesocket(FListener);
    ::WSACleanup();
  }
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  std::u16string Url(const std::string& path) const {
    const std::string url = "http://127.0.0.1:" + std::to_string(FPort) + path;
    return std::u16string(url.begin(), url.end());
  }

 private:
  void Serve() {
    while (!FStop) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(FListener, &ready);
      timeval wait{0, 50000};
      if (::select(0, &ready, nullptr, nullptr, &wait) != 1) {
        continue;
      }
      const SOCKET client = ::accept(FListener, nullptr, nullptr);
      if (client != INVALID_SOCKET) {
        Answer(client);
        ::shutdown(client, SD_SEND);
        ::closesocket(client);
      }
    }
  }

  void Answer(SOCKET client) {
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int got = ::recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) {
        return;
      }
      request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t start = request.find(' ') + 1;
    const auto it = FReplies.find(request.substr(start, request.find(' ', start) - start));
    const std::string reply =
        it != FReplies.end() ? it->second : "HTTP/1.1 500 Unknown\r\nContent-Length: 0\r\n\r\n";
    for (std::size_t sent = 0; sent < reply.size();) {
      const int done =
          ::send(client, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
      if (done <= 0) {
        return;
      }
      sent += static_cast<std::size_t>(done);
    }
  }

  std::map<std::string, std::string> FReplies;
  SOCKET FListener;
  std::uint16_t FPort = 0;
  std::atomic<bool> FStop = false;
  std::thread FThread;
};

// A reply with `status`, announcing `announced` bytes (none when negative) and carrying `body`.
std::string Reply(int status, long long announced, const std::string& body) {
  std::string reply = "HTTP/1.1 ";
  reply.append(std::to_string(status)).append(" X\r\nConnection: close\r\n");
  if (announced >= 0) {
    reply.append("Content-Length: ").append(std::to_string(announced)).append("\r\n");
  }
  return reply.append("\r\n").append(body);
}

std::string Body(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    body[i] = static_cast<char>('A' + i % 26);
  }
  return body;
}

class WinInetTest : public ::testing::Test {
 protected:
  WinInetTest() : ctx(system) {
    EXPECT_TRUE(OpenInternet(ctx));
    ctx.State.ArchivePath = dir / u"zelk32_156.zip";
  }
  ~WinInetTest() override { CloseInternet(ctx); }

  bool Download(const std::u16string& url) {
    ctx.State.Downloaded = false;
    ctx.State.TargetUrl = url;
    DownloadArchive(ctx);
    EXPECT_FALSE(FileExists(ReplacementFileName(ctx.State.ArchivePath)));
    return ctx.State.Downloaded;
  }

  Win32Platform system;
  TRunContext ctx;
  TTempDir dir;
};

TEST_F(WinInetTest, ACompleteArchiveArrivesWholeWithOrWithoutALength) {
  const std::string body = Body(25000);
  TLoopbackServer server({{"/a.zip", Reply(200, 25000, body)}, {"/b.zip", Reply(200, -1, body)}});
  EXPECT_TRUE(Download(server.Url("/a.zip")));
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), body);
  test::WriteFileBytes(ctx.State.ArchivePath, "");
  EXPECT_TRUE(Download(server.Url("/b.zip")));
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), body);
}

TEST_F(WinInetTest, ABodyCutShortIsNoDownloadAndTheEarlierArchiveStays) {
  TLoopbackServer server({{"/cut.zip", Reply(200, 25000, Body(6000))}});
  test::WriteFileBytes(ctx.State.ArchivePath, "earlier complete archive");
  EXPECT_FALSE(Download(server.Url("/cut.zip")));
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "earlier complete archive");
}

TEST_F(WinInetTest, AnErrorStatusCreatesNoArchiveButItsPageIsRead) {
  TLoopbackServer server({{"/missing.zip", Reply(404, 9, "not found")},
                          {"/page.html", Reply(404, 13, std::string("<p>\0hidden</p>", 13))}});
  EXPECT_FALSE(Download(server.Url("/missing.zip")));
  EXPECT_FALSE(FileExists(ctx.State.ArchivePath));
  ctx.State.TargetUrl = server.Url("/page.html");
  FetchPage(ctx);
  EXPECT_EQ(ctx.State.PageText, "<p>");
}

TEST_F(WinInetTest, AnUnreachableServerGivesNeitherPageNorArchive) {
  std::u16string url;
  { url = TLoopbackServer({}).Url("/vum_zelk.html"); }
  ctx.State.PageText = "stale";
  ctx.State.TargetUrl = url;
  FetchPage(ctx);
  EXPECT_EQ(ctx.State.PageText, "");
  EXPECT_FALSE(Download(url));
  EXPECT_FALSE(FileExists(ctx.State.ArchivePath));
}

}  // namespace
}  // namespace zelkupd
