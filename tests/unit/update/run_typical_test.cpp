// Whole runs with every operation real but the platform: the settings file, the release page, the
// download, the closing of ZELK, the extraction, the record of the archive and its disposal.
#include <gtest/gtest.h>

#include "runtime/codepage.h"
#include "runtime/datetime.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "support/fake_platform.h"
#include "support/fault_scope.h"
#include "support/run_texts.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "update/extract.h"
#include "update/run.h"
#include "update/site.h"

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::kReleasePage;
using test::kSite;
using test::TTempDir;

const std::u16string kArchiveUrl = kSite + u"zip/zelk32_156.zip";
const std::uint32_t kEntryTime = test::DosDateTime(2021, 7, 15, 13, 45, 58);
constexpr std::uint32_t kZelkProcess = 100;

std::string ReleaseArchive() {
  test::TZipBuilder zip;
  zip.Deflated("ZELK.EXE", std::string(30000, 'N'));
  zip.Stored("doc/", "");
  zip.Deflated("doc/readme.txt", "新しいゼルク\r\n");
  return zip.Build();
}

// The archive as WinINet hands it out: blocks of the transfer buffer's size.
std::vector<std::string> Blocks(const std::string& bytes) {
  std::vector<std::string> blocks;
  for (std::size_t at = 0; at < bytes.size(); at += 10240) {
    blocks.push_back(bytes.substr(at, 10240));
  }
  return blocks;
}

class RunTypicalTest : public ::testing::Test {
 protected:
  RunTypicalTest() {
    fake.ModulePath = install / u"zelkupd.exe";
    test::WriteFileBytes(install / u"ZELK.EXE", "old program");
    test::WriteFileBytes(install / u"keep.dat", "user data");
  }

  void Settings(std::string_view text) { test::WriteFileBytes(SettingsPath(), text); }
  std::u16string SettingsPath() const { return install / u"zelkupd.INI"; }
  void ServeRelease(const std::string& archive) {
    fake.Responses[kReleasePage] = {
        .Blocks = {"<p><a id=\"$zelk32$\" href=\"zip/zelk32_156.zip\">最新版</a></p>\r\n"}};
    fake.Responses[kArchiveUrl] = {.Blocks = Blocks(archive)};
  }
  void RunningZelk() {
    fake.Processes[kZelkProcess] = {.ImagePath = install / u"ZELK.EXE"};
    fake.Windows = {{.Handle = 7, .ProcessId = kZelkProcess}};
  }
  std::u16string Out() const { return test::DecodedStdOut(fake); }
  static TFileTime Stamp() { return LocalToUtcFileTime(DosDateTimeToSystemTime(kEntryTime)); }
  void ExpectInstalled() const {
    EXPECT_EQ(test::ReadFileBytes(install / u"ZELK.EXE"), std::string(30000, 'N'));
    EXPECT_EQ(test::ReadFileBytes(install / u"doc\\readme.txt"), "新しいゼルク\r\n");
    EXPECT_EQ(test::ReadFileBytes(install / u"keep.dat"), "user data");
    TFileTimes times;
    ASSERT_TRUE(GetFileTimes(install / u"doc\\readme.txt", times));
    EXPECT_EQ(times.LastWrite, Stamp());
  }

  TTempDir install;
  FakePlatform fake;
};

TEST_F(RunTypicalTest, ATypicalRunPrintsItsLinesInstallsRecordsDisposesAndStartsZelk) {
  Settings("[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\nDELETE=1\r\n");
  const std::string archive = ReleaseArchive();
  ServeRelease(archive);
  RunningZelk();
  fake.BoxAnswers = {kIdYes};

  EXPECT_EQ(RunUpdate(fake, {}), 0);

  const std::u16string marks(Blocks(archive).size(), u'#');
  EXPECT_EQ(Out(),
            u"『 zelk32_155.zip 』が前回アップデートしたファイルです.\r\n"
            u"ゼルク のアップデートを試みます.\r\n"
            u"\r\n"
            u"ダウンロードしたアーカイブは削除されます.\r\n" +
                kReleasePage + u" の情報を取得中...\r\n" +
                u"取得完了.\r\n"
                u"\r\n" +
                kArchiveUrl + u" を取得中...\r\n" + marks + u"\r\n" +
                u"取得完了.\r\n"
                u"起動中の ゼルク を終了...\r\n"
                u"起動中の ゼルク を終了完了.\r\n"
                u"ゼルク を起動...\r\n");
  ASSERT_EQ(fake.Boxes.size(), 1u) << "a successful installation shows no end notice";
  EXPECT_EQ(fake.Boxes[0].Text,
            u"『 zelk32_156.zip 』が対象です.\r\n前回アップデートしたファイルよりも新しいです.\r\n"
            u"取得しますか？");
  EXPECT_EQ(fake.Boxes[0].Style, 35u);
  ExpectInstalled();
  EXPECT_EQ(test::ReadFileBytes(SettingsPath()),
            "[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\nDELETE=1\r\n\r\n");
  EXPECT_FALSE(FileExists(install / u"zelk32_156.zip")) << "DELETE=1 deletes the archive";
  ASSERT_EQ(fake.Executes.size(), 1u);
  EXPECT_EQ(fake.Executes[0].File, install / u"ZELK.EXE");
  EXPECT_EQ(fake.Sleeps, std::vector<std::uint32_t>{100});
  EXPECT_EQ(fake.OpenInetHandles, 0);
}

TEST_F(RunTypicalTest, FirstUpdateCreatesTheSettingsFileWithThreeLines) {
  ServeRelease(ReleaseArchive());
  fake.BoxAnswers = {kIdYes};
  EXPECT_EQ(RunUpdate(fake, {}), 0);
  EXPECT_EQ(test::ReadFileBytes(SettingsPath()), "[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\n\r\n");
  EXPECT_TRUE(FileExists(install / u"zelk32_156.zip")) << "without DELETE the archive is kept";
}

TEST_F(RunTypicalTest, ALocalArchiveIsInstalledWithoutQuestionKeptAndNotRecorded) {
  const std::string settings = "[zelk]\r\nprev_file = zelk32_155.zip\r\nDELETE=1\r\n";
  Settings(settings);
  const std::u16string archive = install / u"local.zip";
  test::WriteFileBytes(archive, ReleaseArchive());

  EXPECT_EQ(RunUpdate(fake, {archive}), 0);

  EXPECT_EQ(Out(),
            u"『 zelk32_155.zip 』が前回アップデートしたファイルです.\r\n"
            u"ゼルク のアップデートを試みます.\r\n\r\n"
            u"ダウンロードしたアーカイブは削除されます.\r\n"
            u"ローカルのアーカイブファイルが指定されました.\r\n"
            u"起動中の ゼルク を終了...\r\n起動中の ゼルク を終了完了.\r\n"
            u"ゼルク を起動...\r\n");
  EXPECT_TRUE(fake.Boxes.empty());
  ExpectInstalled();
  EXPECT_TRUE(FileExists(archive)) << "a local archive is kept whatever DELETE says";
  EXPECT_EQ(test::ReadFileBytes(SettingsPath()), settings) << "PREV_FILE stays as it was";
}

TEST_F(RunTypicalTest, ARecycleBinThatRefusesTheArchiveIsReportedBeforeTheLaunch) {
  for (const bool userCancelled : {false, true}) {
    FakePlatform local;
    local.ModulePath = fake.ModulePath;
    Settings("[ZELK]\r\nDELETE=2\r\n");
    const std::u16string archive = install / u"zelk32_156.zip";
    RemoveFile(archive);
    local.Responses[kReleasePage] = {
        .Blocks = {"<a id=\"$zelk32$\" href=\"zip/zelk32_156.zip\">x</a>"}};
    local.Responses[kArchiveUrl] = {.Blocks = Blocks(ReleaseArchive())};
    local.BoxAnswers = {kIdYes};
    local.FileOperationResult = 0x78;
    local.FileOperationAborts = userCancelled;

    EXPECT_EQ(RunUpdate(local, {}), 0);

    const std::u16string out = test::DecodedStdOut(local);
    const std::u16string failure =
        archive + u" をごみ箱へ投棄中に何らかのエラーが発生しました\r\nゼルク を起動...\r\n";
    if (userCancelled) {
      EXPECT_EQ(out.find(u"ごみ箱"), std::u16string::npos);
      EXPECT_EQ(local.Boxes.size(), 1u);
    } else {
      ASSERT_GE(out.size(), failure.size());
      EXPECT_EQ(out.substr(out.size() - failure.size()), failure);
      ASSERT_EQ(local.Boxes.size(), 2u);
      EXPECT_EQ(local.Boxes[1].Text, u"それではアップデートプログラムを終了致します");
    }
    EXPECT_EQ(local.Executes.size(), 1u);
  }
}

TEST_F(RunTypicalTest, AnUnwritableSettingsFileEndsTheRunBeforeDisposalAndLaunch) {
  const std::string settings = "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\nDELETE=1\r\n";
  Settings(settings);
  ServeRelease(ReleaseArchive());
  fake.BoxAnswers = {kIdYes};
  int exitCode = 0;
  {
    const test::TFaultScope locked(TFaultPoint::Replace, SettingsPath());
    exitCode = RunUpdate(fake, {});
  }
  EXPECT_EQ(exitCode, 1);
  const std::u16string report = DecodeCodePage(fake.StdErr, OemCodePage());
  const std::u16string head = u"EFCreateError がモジュール zelkupd.exe の ";
  EXPECT_EQ(report.substr(0, head.size()), head);
  EXPECT_NE(report.find(u"\r\nファイル \"" + SettingsPath() + u"\" を作成できません。"),
            std::u16string::npos);
  EXPECT_EQ(test::ReadFileBytes(SettingsPath()), settings);
  EXPECT_TRUE(FileExists(install / u"zelk32_156.zip")) << "not disposed of";
  EXPECT_TRUE(fake.Executes.empty()) << "ZELK is not started";
  EXPECT_EQ(Out().find(u"ゼルク を起動..."), std::u16string::npos);
}

struct TQuestionCase {
  const char* PrevFile;
  const char16_t* NewFile;
  const char16_t* Lines;
  std::uint32_t Style;
};

TEST_F(RunTypicalTest, TheQuestionComparesWithTheArchiveOfTheLastUpdate) {
  const TQuestionCase cases[] = {
      {"zelk32_155.zip", u"zelk32_156.zip", u"前回アップデートしたファイルよりも新しいです.", 35},
      {"zelk32_157.zip", u"zelk32_156.zip", u"前回アップデートしたファイルよりも古いです.", 291},
      {"ZELK32_156.ZIP", u"zelk32_156.zip", u"前回アップデートしたファイルと同じです.", 291},
      {"zelk32_156.zip", u"zelk32_0156.zip", u"前回アップデートしたファイルよりも古いです.", 291},
      {"zelk32_155.zip", u"zelk32_156b1.zip",
       u"!!!　これはβテスト版です　!!!\r\n前回アップデートしたファイルよりも新しいです.", 35},
      {"zelk32_157b2.zip", u"zelk32_157.zip", u"前回アップデートしたファイルよりも新しいです.", 35},
  };
  for (const TQuestionCase& c : cases) {
    FakePlatform local;
    local.ModulePath = fake.ModulePath;
    Settings(std::string("[ZELK]\r\nPREV_FILE=") + c.PrevFile + "\r\n");
    local.BoxAnswers = {kIdCancel};
    const std::u16string newFile = c.NewFile;
    RunUpdate(local, {u"http://example.invalid/zip/" + newFile});
    ASSERT_EQ(local.Boxes.size(), 1u) << c.PrevFile;
    EXPECT_EQ(local.Boxes[0].Text, u"『 " + newFile + u" 』が対象です.\r\n" +
                                       std::u16string(c.Lines) + u"\r\n取得しますか？")
        << c.PrevFile;
    EXPECT_EQ(local.Boxes[0].Style, c.Style) << c.PrevFile;
  }
}

}  // namespace
}  // namespace zelkupd
