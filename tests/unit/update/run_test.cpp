// The phases of the run over the fake platform, in a temporary installation folder.
#include "update/run.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/codepage.h"
#include "runtime/paths.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/run_texts.h"
#include "support/temp_dir.h"

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::kEndNotice;
using test::kGreeting;
using test::TTempDir;

class RunTest : public ::testing::Test {
 protected:
  RunTest() { fake.ModulePath = install / u"zelkupd.exe"; }

  int Run(std::vector<std::u16string> arguments = {}) { return RunUpdate(fake, arguments); }
  std::u16string Out() const { return test::DecodedStdOut(fake); }
  bool Called(const std::string& call) const {
    return std::find(fake.Calls.begin(), fake.Calls.end(), call) != fake.Calls.end();
  }

  TTempDir install;
  FakePlatform fake;
};

TEST_F(RunTest, WithoutInternetHandleTheRunEndsSilentlyAfterStartUp) {
  fake.SessionFails = true;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Out(), kGreeting);
  EXPECT_TRUE(fake.Boxes.empty());
  EXPECT_TRUE(fake.OpenedUrls.empty());
  EXPECT_TRUE(Called("InternetCloseHandle null"));
}

TEST_F(RunTest, MissingLocalArchiveIsReportedAndEndsWithTheNotice) {
  const std::u16string archive = install / u"dl\\zelk32_155.ZIP";
  EXPECT_EQ(Run({archive, u"ignored second argument"}), 0);
  EXPECT_EQ(Out(), std::u16string(kGreeting) +
                       u"ローカルのアーカイブファイルが指定されました.\r\n" + u"指定ファイル " +
                       archive + u" が存在しません.\r\n");
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, kEndNotice);
  EXPECT_TRUE(Called("InternetCloseHandle"));
  EXPECT_EQ(fake.OpenInetHandles, 0);
}

TEST_F(RunTest, RelativeLocalArchiveIsTakenFromTheCurrentFolder) {
  EXPECT_EQ(Run({u"no-such-dir\\zelk32_155.zip"}), 0);
  EXPECT_NE(Out().find(u"指定ファイル " + ExpandFileName(u"no-such-dir\\zelk32_155.zip")),
            std::u16string::npos);
}

TEST_F(RunTest, ArchiveUrlAsksAboutItsLastPathSegment) {
  for (const std::u16string& url : std::vector<std::u16string>{
           u"http://example.invalid/zip/zelk32_156.zip", u"HTTP://example.invalid/zelk32_156.ZIP",
           u"hTTpS://example.invalid/a/zelk32_156.zip"}) {
    FakePlatform local;
    local.ModulePath = fake.ModulePath;
    local.BoxAnswers = {kIdCancel};
    EXPECT_EQ(RunUpdate(local, {url}), 0);
    const std::u16string name = url.substr(url.find_last_of(u'/') + 1);
    EXPECT_EQ(test::DecodedStdOut(local), std::u16string(kGreeting) +
                                              u"サーバ上のアーカイブファイルが指定されました.\r\n" +
                                              u"　→ " + url + u"\r\n");
    ASSERT_EQ(local.Boxes.size(), 1u) << "Cancel shows no end notice";
    EXPECT_EQ(local.Boxes[0].Text, u"『 " + name + u" 』が対象です.\r\n取得しますか？");
    EXPECT_EQ(local.Boxes[0].Style, 35u) << "no previous archive: Yes is the default";
  }
}

TEST_F(RunTest, AUrlWhoseLastSegmentIsNoPlainArchiveNameIsReadAsAPage) {
  for (const std::u16string& url : std::vector<std::u16string>{
           u"http://example.invalid/get?f=zelk32_156.zip", u"http://example.invalid/con.zip",
           u"https://example.invalid/a|b.zip", u"http://example.invalid/a\tb.zip"}) {
    FakePlatform local;
    local.ModulePath = fake.ModulePath;
    EXPECT_EQ(RunUpdate(local, {url}), 0);
    EXPECT_EQ(test::DecodedStdOut(local), std::u16string(kGreeting) +
                                              u"サーバのページが指定されました.\r\n" + url +
                                              u" の情報を取得中...\r\n取得出来ませんでした.\r\n");
    EXPECT_EQ(local.OpenedUrls, std::vector<std::u16string>{url});
    ASSERT_EQ(local.Boxes.size(), 1u);
    EXPECT_EQ(local.Boxes[0].Text, kEndNotice);
  }
}

TEST_F(RunTest, CancelEndsAtOnceWithoutClosingAnything) {
  fake.BoxAnswers = {kIdCancel};
  EXPECT_EQ(Run({u"http://example.invalid/zelk32_156.zip"}), 0);
  EXPECT_FALSE(Called("InternetCloseHandle"));
  EXPECT_TRUE(fake.OpenedUrls.empty());
}

TEST_F(RunTest, DeclinedArchiveUrlIsLeftAndNeverFallsBackToAReleasePage) {
  fake.BoxAnswers = {kIdNo};
  EXPECT_EQ(Run({u"http://example.invalid/zelk32_156.zip"}), 0);
  const std::u16string out = Out();
  const std::u16string tail = u"放置します.\r\n";
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  ASSERT_EQ(fake.Boxes.size(), 2u);
  EXPECT_EQ(fake.Boxes[1].Text, kEndNotice);
  EXPECT_TRUE(fake.OpenedUrls.empty());
}

TEST_F(RunTest, ArchiveAlreadyInTheDownloadFolderIsAskedAboutWithDefaultNo) {
  test::WriteFileBytes(install / u"zelk32_156.zip", "old");
  fake.BoxAnswers = {kIdCancel};
  Run({u"http://example.invalid/zelk32_156.zip"});
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(
      fake.Boxes[0].Text,
      u"『 zelk32_156.zip 』が対象です.\r\n既にローカルにも存在しています.\r\n取得しますか？");
  EXPECT_EQ(fake.Boxes[0].Style, 291u);
}

TEST_F(RunTest, BetaArchiveGetsTheBetaLineForLowerCaseBOnly) {
  fake.BoxAnswers = {kIdCancel};
  Run({u"http://example.invalid/zelk32_157ba.zip"});
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(
      fake.Boxes[0].Text,
      u"『 zelk32_157ba.zip 』が対象です.\r\n!!!　これはβテスト版です　!!!\r\n取得しますか？");

  FakePlatform upper;
  upper.ModulePath = fake.ModulePath;
  upper.BoxAnswers = {kIdCancel};
  RunUpdate(upper, {u"http://example.invalid/ZELK32_157BA.ZIP"});
  ASSERT_EQ(upper.Boxes.size(), 1u);
  EXPECT_EQ(upper.Boxes[0].Text, u"『 ZELK32_157BA.ZIP 』が対象です.\r\n取得しますか？");
}

TEST_F(RunTest, ExtractionThatAlwaysFailsRetriesFiveTimesThenStartsZelk) {
  const std::u16string archive = install / u"broken.zip";
  test::WriteFileBytes(archive, "this is no zip archive");
  EXPECT_EQ(Run({archive}), 0);
  std::u16string expected = std::u16string(kGreeting) +
                            u"ローカルのアーカイブファイルが指定されました.\r\n" +
                            u"起動中の ゼルク を終了...\r\n起動中の ゼルク を終了完了.\r\n";
  const std::u16string failure = archive + u" の展開に失敗しました.\r\n";
  for (int i = 1; i <= 5; ++i) {
    expected += failure + u"展開に失敗しました. リトライします. (" + IntToText(i) + u")\r\n";
  }
  expected += failure + u"何はともあれ ゼルク の起動を試みます.\r\nゼルク を起動...\r\n";
  EXPECT_EQ(Out(), expected);
  EXPECT_EQ(std::count(fake.Sleeps.begin(), fake.Sleeps.end(), 750u), 5);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, kEndNotice);
}

TEST_F(RunTest, FailedConsoleWriteEndsWithExitCodeOneAndTheReport) {
  fake.OutputType = kFileTypeChar;
  fake.FailWritesWith = 6;
  EXPECT_EQ(Run(), 1);
  const std::u16string report = DecodeCodePage(fake.StdErr, 932);
  const std::u16string head = u"EInOutError がモジュール zelkupd.exe の ";
  const std::u16string tail = u" で発生しました。\r\nI/O エラー 6\r\n";
  EXPECT_EQ(report.substr(0, head.size()), head);
  EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

}  // namespace
}  // namespace zelkupd
