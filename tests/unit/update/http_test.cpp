// The page and archive transfers over the fake platform: what is read, written and printed, and
// that every request handle is released on every path.
#include "update/http.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "support/fake_platform.h"
#include "support/fault_scope.h"
#include "support/temp_dir.h"
#include "update/release_page.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::TTempDir;

constexpr char16_t kPageUrl[] = u"http://site.invalid/vum_zelk.html";
constexpr char16_t kArchiveUrl[] = u"http://site.invalid/zip/zelk32_156.zip";
// Reload, no cache write, no automatic redirect, no cookies, no automatic logon, no dialog.
constexpr std::uint32_t kRequestFlags = 0x842C0200;
constexpr char16_t kNotObtained[] = u"取得出来ませんでした.\r\n";
constexpr char16_t kCannotWrite[] = u"ローカルディスクに書き込みが出来ません.\r\n";

TFaultPoint gFailingPoint;
bool FailAtPoint(TFaultPoint point, std::u16string_view) {
  return point == gFailingPoint;
}

class HttpTest : public ::testing::Test {
 protected:
  HttpTest() : ctx(fake) {
    OpenInternet(ctx);
    ctx.State.ArchivePath = dir / u"zelk32_156.zip";
  }
  ~HttpTest() override { SetFaultHook(nullptr); }

  std::u16string Out() {
    ctx.Console.Close();
    return test::DecodedStdOut(fake);
  }
  int Count(const std::string& call) const {
    return static_cast<int>(std::count(fake.Calls.begin(), fake.Calls.end(), call));
  }
  void Fetch(const FakePlatform::TResponse& response) {
    fake.Responses[kPageUrl] = response;
    ctx.State.TargetUrl = kPageUrl;
    FetchPage(ctx);
  }
  void Download(const FakePlatform::TResponse& response) {
    fake.Responses[kArchiveUrl] = response;
    ctx.State.TargetUrl = kArchiveUrl;
    DownloadArchive(ctx);
  }
  // Only the session is still open, and no part file was left in the download folder.
  void ExpectTidy() const {
    EXPECT_EQ(fake.OpenInetHandles, 1);
    EXPECT_FALSE(FileExists(ReplacementFileName(ctx.State.ArchivePath)));
  }

  FakePlatform fake;
  TRunContext ctx;
  TTempDir dir;
};

TEST_F(HttpTest, SessionOpensOnceAndClosesEvenWhenThereIsNone) {
  EXPECT_NE(ctx.State.hInternet, nullptr);
  CloseInternet(ctx);
  EXPECT_EQ(fake.OpenInetHandles, 0);

  FakePlatform failing;
  failing.SessionFails = true;
  TRunContext other(failing);
  EXPECT_FALSE(OpenInternet(other));
  EXPECT_EQ(other.State.hInternet, nullptr);
  CloseInternet(other);
  EXPECT_EQ(failing.Calls.back(), "InternetCloseHandle null");
}

TEST_F(HttpTest, PageIsJoinedFromItsBlocksWhateverItsStatus) {
  const std::string full(10240, 'x');
  Fetch({.Status = 404, .Blocks = {"<html>", full, "</html>"}});
  EXPECT_EQ(ctx.State.PageText, "<html>" + full + "</html>");
  EXPECT_EQ(Out(), std::u16string(kPageUrl) + u" の情報を取得中...\r\n");
  EXPECT_EQ(fake.OpenUrlFlags, std::vector<std::uint32_t>{kRequestFlags});
  EXPECT_EQ(Count("InternetReadFile 10240"), 4);
  ExpectTidy();
}

TEST_F(HttpTest, AZeroByteCutsOnlyItsOwnBlock) {
  Fetch({.Blocks = {std::string("ab\0cd", 5), "ef", std::string("\0gh", 3), "ij"}});
  EXPECT_EQ(ctx.State.PageText, "abefij");
}

TEST_F(HttpTest, UnreadablePageIsReportedAndLeavesThePageEmpty) {
  ctx.State.PageText = "stale";
  Fetch({.OpenFails = true});
  EXPECT_EQ(ctx.State.PageText, "");
  EXPECT_EQ(Out(), std::u16string(kPageUrl) + u" の情報を取得中...\r\n" + kNotObtained);
  EXPECT_EQ(Count("InternetCloseHandle"), 2) << "the request and its connection";
  ExpectTidy();
}

TEST_F(HttpTest, PageReadThatFailsKeepsWhatCameBefore) {
  Fetch({.Blocks = {"<a ", "id="}, .ReadFailsAtEnd = true});
  EXPECT_EQ(ctx.State.PageText, "<a id=");
  EXPECT_EQ(Out(), std::u16string(kPageUrl) + u" の情報を取得中...\r\n");
  ExpectTidy();
}

// A page is searched in its first MiB, which holds any real release page many times over; what
// comes after is never asked for, so a server cannot make the run hold or search more.
TEST_F(HttpTest, APageIsReadNoFurtherThanItsFirstMebibyte) {
  std::string filler;
  while (filler.size() < 10240) {
    filler += "a,";
  }
  // 64 MiB of tokens, with a link in every 104th block, the first one just past the first MiB.
  std::vector<std::string> blocks(103, filler);
  blocks.push_back("<a id=\"$zelk32$\" href=\"zip/zelk32_999.zip\">");
  Fetch({.Blocks = blocks, .Repeat = 64 * 1048576 / (104 * 10240)});
  std::string expected;
  while (expected.size() < 1048576) {
    expected += "a,";
  }
  EXPECT_EQ(ctx.State.PageText.size(), expected.size());
  EXPECT_TRUE(ctx.State.PageText.starts_with(expected)) << "the page is its first MiB";
  EXPECT_EQ(Count("InternetReadFile 10240"), 102);
  EXPECT_EQ(Count("InternetReadFile 4097"), 1)
      << "the last read asks for what the cap leaves and a byte to tell whether more follows";
  FindArchiveLink(ctx.State);
  EXPECT_EQ(ctx.State.TargetUrl, u"");
  ExpectTidy();
}

TEST_F(HttpTest, ArchiveGoesToItsFileWithOneMarkPerBlock) {
  const std::string full(10240, 'z');
  Download({.Blocks = {full, full, "tail"}, .HasContentLength = true, .ContentLength = 20484});
  EXPECT_TRUE(ctx.State.Downloaded);
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), full + full + "tail");
  EXPECT_EQ(Out(), std::u16string(kArchiveUrl) + u" を取得中...\r\n###\r\n");
  EXPECT_EQ(fake.OpenUrlFlags, std::vector<std::uint32_t>{kRequestFlags});
  EXPECT_EQ(Count("HttpQueryInfo 536870931"), 1) << "HTTP_QUERY_STATUS_CODE as a number";
  EXPECT_EQ(Count("InternetReadFile 10240"), 2) << "then no more than one byte past the length";
  ExpectTidy();
}

TEST_F(HttpTest, EmptyAndSingleBlockArchivesEndTheirRowOfMarks) {
  Download({.Blocks = {}});
  EXPECT_TRUE(ctx.State.Downloaded);
  EXPECT_TRUE(FileExists(ctx.State.ArchivePath));
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "");

  ctx.State.Downloaded = false;
  Download({.Blocks = {std::string(10240, 'q')}});
  EXPECT_TRUE(ctx.State.Downloaded);
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), std::string(10240, 'q'));
  const std::u16string line = std::u16string(kArchiveUrl) + u" を取得中...\r\n";
  EXPECT_EQ(Out(), line + u"\r\n" + line + u"#\r\n");
  ExpectTidy();
}

TEST_F(HttpTest, AnExistingArchiveIsReplacedAndCutToTheNewLength) {
  test::WriteFileBytes(ctx.State.ArchivePath, "a much longer earlier archive");
  Download({.Blocks = {"new"}});
  EXPECT_TRUE(ctx.State.Downloaded);
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "new");
}

TEST_F(HttpTest, AnyStatusButTwoHundredCreatesNothing) {
  const FakePlatform::TResponse responses[] = {
      {.Status = 404, .Blocks = {"not found"}},
      {.Status = 301, .Blocks = {"moved"}},
      {.Status = 500},
      {.StatusQueryFails = true, .Blocks = {"PK"}},
      {.Status = 0},
  };
  for (const FakePlatform::TResponse& response : responses) {
    Download(response);
    EXPECT_FALSE(ctx.State.Downloaded);
    EXPECT_FALSE(FileExists(ctx.State.ArchivePath)) << response.Status;
  }
  test::WriteFileBytes(ctx.State.ArchivePath, "earlier");
  Download({.Status = 404, .Blocks = {"not found"}});
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "earlier");
  EXPECT_EQ(Count("InternetReadFile 10240"), 0);
  std::u16string expected;
  for (int i = 0; i < 6; ++i) {
    expected += std::u16string(kArchiveUrl) + u" を取得中...\r\n" + kNotObtained;
  }
  EXPECT_EQ(Out(), expected);
  ExpectTidy();
}

TEST_F(HttpTest, ArchiveThatCannotBeOpenedIsReported) {
  Download({.OpenFails = true});
  EXPECT_FALSE(ctx.State.Downloaded);
  EXPECT_EQ(Out(), std::u16string(kArchiveUrl) + u" を取得中...\r\n" + kNotObtained);
  EXPECT_EQ(Count("InternetCloseHandle"), 2) << "the request and its connection";
  ExpectTidy();
}

TEST_F(HttpTest, ABrokenTransferKeepsTheEarlierArchiveAndIsNotADownload) {
  const FakePlatform::TResponse broken[] = {
      {.Blocks = {"PK\x03\x04", "half"}, .ReadFailsAtEnd = true},
      {.Blocks = {"PK\x03\x04", "half"}, .HasContentLength = true, .ContentLength = 9},
  };
  for (const FakePlatform::TResponse& response : broken) {
    test::WriteFileBytes(ctx.State.ArchivePath, "earlier complete archive");
    Download(response);
    EXPECT_FALSE(ctx.State.Downloaded);
    EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "earlier complete archive");
    ExpectTidy();
  }
  const std::u16string attempt =
      std::u16string(kArchiveUrl) + u" を取得中...\r\n##\r\n" + kNotObtained;
  EXPECT_EQ(Out(), attempt + attempt);
}

TEST_F(HttpTest, ABodyOfItsAnnouncedLengthIsWholeAndOneThatRunsPastItIsNot) {
  Download({.Blocks = {"12345678"}, .HasContentLength = true, .ContentLength = 8});
  EXPECT_TRUE(ctx.State.Downloaded);
  ctx.State.Downloaded = false;
  Download({.Blocks = {"12345678"}, .HasContentLength = true, .ContentLength = 3});
  EXPECT_FALSE(ctx.State.Downloaded);
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "12345678");
}

TEST_F(HttpTest, ALocalDiskThatRefusesTheArchiveIsReportedAndLeavesItAlone) {
  for (const TFaultPoint point :
       {TFaultPoint::Create, TFaultPoint::Write, TFaultPoint::Flush, TFaultPoint::Replace}) {
    test::WriteFileBytes(ctx.State.ArchivePath, "earlier");
    gFailingPoint = point;
    SetFaultHook(FailAtPoint);
    Download({.Blocks = {"PK", "rest"}});
    SetFaultHook(nullptr);
    EXPECT_FALSE(ctx.State.Downloaded);
    EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "earlier");
    ExpectTidy();
  }
  const std::u16string line = std::u16string(kArchiveUrl) + u" を取得中...\r\n";
  EXPECT_EQ(Out(), line + kCannotWrite + line + u"\r\n" + kCannotWrite + line + u"##\r\n" +
                       kCannotWrite + line + u"##\r\n" + kCannotWrite);
  EXPECT_EQ(Count("InternetReadFile 10240"), 1 + 3 + 3) << "nothing is read without a file";
}

// A user's own file under the name part files are often given, and the part file of a run that
// was killed while its download arrived.
TEST_F(HttpTest, APartFileLeftByAKilledRunIsReclaimedAndAUsersPartFileIsNeverTouched) {
  const std::u16string users = ctx.State.ArchivePath + u".part";
  const std::u16string leftover = ReplacementFileName(ctx.State.ArchivePath);
  const FakePlatform::TResponse responses[] = {
      {.Blocks = {"PK", "half"}, .ReadFailsAtEnd = true},
      {.Blocks = {"PK", "rest"}},
  };
  for (const FakePlatform::TResponse& response : responses) {
    test::WriteFileBytes(users, "the user's own");
    test::WriteFileBytes(leftover, "PK and the start of a killed run's download");
    std::vector<std::u16string> names;
    fake.OnRead = [&] {
      names.clear();
      for (const TDirEntry& entry : ListDirectory(dir.Path())) {
        names.push_back(entry.Name);
      }
    };
    Download(response);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::u16string>{u"zelk32_156.zip.part", u"zelk32_156.zip.zelkupd-tmp"}))
        << "the transfer went to the program's own name";
    EXPECT_EQ(test::ReadFileBytes(users), "the user's own");
    EXPECT_FALSE(FileExists(leftover));
    EXPECT_EQ(ListDirectory(dir.Path()).size(), ctx.State.Downloaded ? 2u : 1u);
  }
  EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "PKrest");
}

// What another run still writes cannot be removed on Windows, and so is not written over.
TEST_F(HttpTest, APartFileStillHeldByAnotherRunIsReportedAndLeftToIt) {
  const std::u16string held = ReplacementFileName(ctx.State.ArchivePath);
  test::WriteFileBytes(held, "PK and what another run has received so far");
  {
    const test::TFaultScope inUse(TFaultPoint::Delete, held);
    Download({.Blocks = {"PK", "rest"}});
  }
  EXPECT_FALSE(ctx.State.Downloaded);
  EXPECT_EQ(Out(), std::u16string(kArchiveUrl) + u" を取得中...\r\n" + kCannotWrite);
  EXPECT_EQ(test::ReadFileBytes(held), "PK and what another run has received so far");
  EXPECT_FALSE(FileExists(ctx.State.ArchivePath));
  EXPECT_EQ(Count("InternetReadFile 10240"), 0) << "nothing is read without a file";
}

#ifdef _WIN32
// 0 when another process could open the file for `access`, else the error.
DWORD OpenError(const wchar_t* name, DWORD access) {
  const HANDLE file = ::CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return ::GetLastError();
  }
  ::CloseHandle(file);
  return 0;
}

TEST_F(HttpTest, OthersMayReadButNotWriteTheArchiveWhileItArrives) {
  const std::u16string part = ReplacementFileName(ctx.State.ArchivePath);
  DWORD readError = 1;
  DWORD writeError = 0;
  fake.OnRead = [&] {
    const auto* name = reinterpret_cast<const wchar_t*>(part.c_str());
    readError = OpenError(name, GENERIC_READ);
    writeError = OpenError(name, GENERIC_WRITE);
  };
  Download({.Blocks = {"PK"}});
  EXPECT_TRUE(ctx.State.Downloaded);
  EXPECT_EQ(readError, 0u);
  EXPECT_EQ(writeError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}
#endif

}  // namespace
}  // namespace zelkupd
