// Release search, decision and download of whole runs over the fake platform: the release pages
// under the site, the question asked, the fall-back to the second release page and the console
// bytes up to the installation. Runs without a settings file, so no previous archive is known.
#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/codepage.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "support/fake_platform.h"
#include "support/run_texts.h"
#include "support/temp_dir.h"
#include "update/run.h"
#include "update/site.h"

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::kEndNotice;
using test::kGreeting;
using test::kReleasePage;
using test::kSecondPage;
using test::kSite;
using test::TTempDir;

const std::u16string kArchiveUrl = kSite + u"zip/zelk32_156.zip";
const std::u16string kBetaUrl = kSite + u"zip/zelk32_157ba.zip";
constexpr std::uint32_t kDefaultYes = 35;
constexpr std::uint32_t kDefaultNo = 291;

// A release page whose marked anchor links `link`.
FakePlatform::TResponse PageLinking(const std::string& link) {
  return {.Blocks = {"<html>\r\n<body>\r\n<p>最新版 <a id=\"$zelk32$\" href=\"" + link +
                     "\">ダウンロード</a>\r\n</body>\r\n</html>\r\n"}};
}

class RunReleaseTest : public ::testing::Test {
 protected:
  RunReleaseTest() { fake.ModulePath = install / u"zelkupd.exe"; }

  int Run(std::vector<std::u16string> arguments = {}) { return RunUpdate(fake, arguments); }
  std::u16string Out() const { return test::DecodedStdOut(fake); }
  bool Printed(std::u16string_view text) const { return Out().find(text) != std::u16string::npos; }
  int Opened(const std::u16string& url) const {
    return static_cast<int>(std::count(fake.OpenedUrls.begin(), fake.OpenedUrls.end(), url));
  }
  std::u16string Question(std::u16string_view lines) const {
    return std::u16string(lines) + u"\r\n取得しますか？";
  }

  TTempDir install;
  FakePlatform fake;
};

TEST_F(RunReleaseTest, ATypicalRunPrintsExactlyTheseBytesUpToTheInstallation) {
  fake.Responses[kReleasePage] = PageLinking("zip/zelk32_156.zip");
  fake.Responses[kArchiveUrl] = {.Blocks = {std::string(10240, 'P'), "K"}};
  fake.BoxAnswers = {kIdYes};
  EXPECT_EQ(Run(), 0);
  const std::string expected = EncodeCodePage(
      std::u16string(kGreeting) + kReleasePage + u" の情報を取得中...\r\n取得完了.\r\n\r\n" +
          kArchiveUrl + u" を取得中...\r\n##\r\n取得完了.\r\n起動中の ゼルク を終了...\r\n",
      932);
  EXPECT_EQ(fake.StdOut.substr(0, expected.size()), expected);
  ASSERT_GE(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, Question(u"『 zelk32_156.zip 』が対象です."));
  EXPECT_EQ(fake.Boxes[0].Style, kDefaultYes) << "no previous archive: Yes is the default";
  EXPECT_EQ(fake.OpenedUrls, (std::vector<std::u16string>{kReleasePage, kArchiveUrl}));
  EXPECT_EQ(fake.OpenUrlFlags, (std::vector<std::uint32_t>{0x842C0200, 0x842C0200}));
  EXPECT_EQ(fake.OpenInetHandles, 0);
}

TEST_F(RunReleaseTest, ABetaIsAnnouncedInTheQuestion) {
  fake.Responses[kReleasePage] = PageLinking("zip/zelk32_157ba.zip");
  fake.BoxAnswers = {kIdCancel};
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text,
            Question(u"『 zelk32_157ba.zip 』が対象です.\r\n!!!　これはβテスト版です　!!!"));
  EXPECT_EQ(fake.Boxes[0].Style, kDefaultYes);
  EXPECT_EQ(Opened(kBetaUrl), 0);
}

TEST_F(RunReleaseTest, AnArchiveAlreadyDownloadedIsAskedAboutWithDefaultNo) {
  test::WriteFileBytes(install / u"zelk32_156.zip", "earlier");
  fake.Responses[kReleasePage] = PageLinking("zip/zelk32_156.zip");
  fake.BoxAnswers = {kIdCancel};
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text,
            Question(u"『 zelk32_156.zip 』が対象です.\r\n既にローカルにも存在しています."));
  EXPECT_EQ(fake.Boxes[0].Style, kDefaultNo);
}

TEST_F(RunReleaseTest, AnUnreadableReleasePageFallsBackToTheSecondPageOnce) {
  fake.Responses[kSecondPage] = {.OpenFails = true};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(fake.OpenedUrls, (std::vector<std::u16string>{kReleasePage, kSecondPage}));
  EXPECT_EQ(Out(), std::u16string(kGreeting) + kReleasePage +
                       u" の情報を取得中...\r\n取得出来ませんでした.\r\n" + kSecondPage +
                       u" の情報を取得中...\r\n取得出来ませんでした.\r\n");
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, kEndNotice);
  EXPECT_EQ(fake.OpenInetHandles, 0);
}

TEST_F(RunReleaseTest, APageWithoutTheMarkerFallsBackToTheSecondPage) {
  fake.Responses[kReleasePage] = {.Status = 404, .Blocks = {"<html>Not Found</html>"}};
  fake.Responses[kSecondPage] = PageLinking("zip/zelk32_157ba.zip");
  fake.BoxAnswers = {kIdCancel};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Out(), std::u16string(kGreeting) + kReleasePage +
                       u" の情報を取得中...\r\n取得完了.\r\n\r\n"
                       u"ゼルク についての情報が見当たりません.\r\n" +
                       kSecondPage + u" の情報を取得中...\r\n取得完了.\r\n\r\n");
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_NE(fake.Boxes[0].Text.find(u"zelk32_157ba.zip"), std::u16string::npos);
}

TEST_F(RunReleaseTest, AMarkerFollowedByAnythingButAnHrefNamesNoArchive) {
  fake.Responses[kReleasePage] = {
      .Blocks = {"<a id=\"$zelk32$\" class=\"x\" href=\"zip/zelk32_156.zip\">"}};
  fake.Responses[kSecondPage] = fake.Responses[kReleasePage];
  EXPECT_EQ(Run(), 0);
  const std::u16string out = Out();
  const std::u16string notFound = u"ゼルク についての情報が見当たりません.\r\n";
  EXPECT_EQ(std::count(fake.OpenedUrls.begin(), fake.OpenedUrls.end(), kArchiveUrl), 0);
  EXPECT_EQ(out.substr(out.size() - notFound.size()), notFound);
  EXPECT_NE(out.find(notFound), out.rfind(notFound)) << "both pages were searched";
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, kEndNotice);
}

TEST_F(RunReleaseTest, ALinkToAnythingButAPlainArchiveNameNamesNoArchive) {
  test::WriteFileBytes(install / u"ZELK.EXE", "the installed program");
  fake.Responses[kReleasePage] = PageLinking("zip/ZELK.EXE");
  fake.Responses[kSecondPage] = PageLinking("zip/..\\..\\x.zip");
  fake.Responses[kSite + u"zip/ZELK.EXE"] = {.Blocks = {"MZ replaced"}};
  fake.Responses[kSite + u"zip/..\\..\\x.zip"] = {.Blocks = {"PK"}};
  EXPECT_EQ(Run(), 0);
  const std::u16string notFound = u"取得完了.\r\n\r\nゼルク についての情報が見当たりません.\r\n";
  EXPECT_EQ(Out(), std::u16string(kGreeting) + kReleasePage + u" の情報を取得中...\r\n" + notFound +
                       kSecondPage + u" の情報を取得中...\r\n" + notFound);
  EXPECT_EQ(fake.OpenedUrls, (std::vector<std::u16string>{kReleasePage, kSecondPage}));
  EXPECT_EQ(test::ReadFileBytes(install / u"ZELK.EXE"), "the installed program");
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, kEndNotice);
}

TEST_F(RunReleaseTest, ADeclinedArchiveFallsBackOnceAndThenEnds) {
  fake.Responses[kReleasePage] = PageLinking("zip/zelk32_157ba.zip");
  fake.Responses[kSecondPage] = PageLinking("zip/zelk32_156.zip");
  fake.BoxAnswers = {kIdNo, kIdNo};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(fake.OpenedUrls, (std::vector<std::u16string>{kReleasePage, kSecondPage}));
  ASSERT_EQ(fake.Boxes.size(), 3u);
  EXPECT_NE(fake.Boxes[0].Text.find(u"zelk32_157ba.zip"), std::u16string::npos);
  EXPECT_EQ(fake.Boxes[1].Text, Question(u"『 zelk32_156.zip 』が対象です."));
  EXPECT_EQ(fake.Boxes[2].Text, kEndNotice);
  const std::u16string out = Out();
  const std::u16string tail =
      kSecondPage + u" の情報を取得中...\r\n取得完了.\r\n\r\n放置します.\r\n";
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(RunReleaseTest, APageNamedOnTheCommandLineIsReadAlone) {
  const std::u16string page = u"http://mirror.invalid/vum_zelk.html";
  const FakePlatform::TResponse answers[] = {{.OpenFails = true}, {.Blocks = {"<html></html>"}}};
  for (const FakePlatform::TResponse& answer : answers) {
    FakePlatform local;
    local.ModulePath = fake.ModulePath;
    local.Responses[page] = answer;
    local.Responses[kSecondPage] = PageLinking("zip/zelk32_156.zip");
    EXPECT_EQ(RunUpdate(local, {page}), 0);
    EXPECT_EQ(local.OpenedUrls, std::vector<std::u16string>{page});
    ASSERT_EQ(local.Boxes.size(), 1u);
    EXPECT_EQ(local.Boxes[0].Text, kEndNotice);
  }
}

TEST_F(RunReleaseTest, ADownloadThatFailsEndsWithTheNoticeAndKeepsTheEarlierFile) {
  test::WriteFileBytes(install / u"zelk32_156.zip", "earlier");
  fake.Responses[kReleasePage] = PageLinking("zip/zelk32_156.zip");
  fake.Responses[kArchiveUrl] = {.Blocks = {"PK\x03\x04"}, .ReadFailsAtEnd = true};
  fake.BoxAnswers = {kIdYes};
  EXPECT_EQ(Run(), 0);
  const std::u16string out = Out();
  const std::u16string tail = kArchiveUrl + u" を取得中...\r\n#\r\n取得出来ませんでした.\r\n";
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  ASSERT_EQ(fake.Boxes.size(), 2u);
  EXPECT_EQ(fake.Boxes[1].Text, kEndNotice);
  EXPECT_EQ(test::ReadFileBytes(install / u"zelk32_156.zip"), "earlier");
  EXPECT_FALSE(FileExists(ReplacementFileName(install / u"zelk32_156.zip")));
  EXPECT_EQ(fake.OpenInetHandles, 0);
}

TEST_F(RunReleaseTest, AMissingArchiveIsNotObtainedAndNothingIsCreated) {
  fake.Responses[kReleasePage] = PageLinking("zip/zelk32_156.zip");
  fake.Responses[kArchiveUrl] = {.Status = 404, .Blocks = {"<html>Not Found</html>"}};
  fake.BoxAnswers = {kIdYes};
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(Printed(kArchiveUrl + u" を取得中...\r\n取得出来ませんでした.\r\n"));
  EXPECT_FALSE(Printed(u"起動中の ゼルク を終了..."));
  EXPECT_FALSE(FileExists(install / u"zelk32_156.zip"));
  ASSERT_EQ(fake.Boxes.size(), 2u);
  EXPECT_EQ(fake.Boxes[1].Text, kEndNotice);
}

}  // namespace
}  // namespace zelkupd
