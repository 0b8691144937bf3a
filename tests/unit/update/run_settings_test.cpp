// The run's start-up as the settings file steers it: the download folder from DOWN_PATH, the
// disposal line from DELETE, and an unreadable file ending the run before its first line.
#include <gtest/gtest.h>

#include "runtime/codepage.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/fault_scope.h"
#include "support/temp_dir.h"
#include "update/run.h"

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::TTempDir;

constexpr char16_t kTrying[] = u"ゼルク のアップデートを試みます.\r\n\r\n";
constexpr char16_t kKept[] = u"ダウンロードしたアーカイブは保持されます.\r\n";
constexpr char16_t kGiven[] = u"ダウンロードパスが指定されています：";
constexpr char16_t kCreating[] = u"ダウンロードパスが存在していません. 作成します.\r\n";

// Runs without an Internet session, so the run ends right after its start-up.
class RunSettingsTest : public ::testing::Test {
 protected:
  RunSettingsTest() {
    fake.ModulePath = install / u"zelkupd.exe";
    fake.SessionFails = true;
  }

  void Settings(const std::u16string& text) {
    test::WriteFileBytes(install / u"zelkupd.INI", EncodeCodePage(text, AnsiCodePage()));
  }
  int Run() { return RunUpdate(fake, {}); }
  std::u16string Out() const { return test::DecodedStdOut(fake); }

  TTempDir install;
  FakePlatform fake;
};

TEST_F(RunSettingsTest, QuotedDownloadPathWithBlanksIsCreated) {
  const std::u16string folder = install / u"My Downloads";
  Settings(u"[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\nDOWN_PATH = \"" + folder + u"\"\r\n");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Out(), u"『 zelk32_155.zip 』が前回アップデートしたファイルです.\r\n" +
                       std::u16string(kTrying) + kGiven + folder + u"\r\n" + kCreating + kKept);
  EXPECT_TRUE(DirectoryExists(folder));
}

TEST_F(RunSettingsTest, ZelkVariableNamesAFolderBelowTheInstallation) {
  Settings(u"[ZELK]\r\nDOWN_PATH=%zelk%\\sub\r\n");
  EXPECT_EQ(Run(), 0);
  const std::u16string folder = install / u"sub";
  EXPECT_EQ(fake.Environment[u"ZELK"], ExcludeTrailingBackslash(install.Path()));
  EXPECT_EQ(Out(), std::u16string(kTrying) + kGiven + folder + u"\r\n" + kCreating + kKept);
  EXPECT_TRUE(DirectoryExists(folder));
}

TEST_F(RunSettingsTest, ExpansionLongerThanTheBufferKeepsThePathUnexpanded) {
  fake.Environment[u"LONG"] = std::u16string(260, u'x');
  const std::u16string configured = install / u"%LONG%";
  Settings(u"[ZELK]\r\nDOWN_PATH=" + configured + u"\r\n");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Out(), std::u16string(kTrying) + u"ダウンロードパスの展開でエラーが発生しました.\r\n" +
                       kGiven + configured + u"\r\n" + kCreating + kKept);
  EXPECT_TRUE(DirectoryExists(configured));
}

TEST_F(RunSettingsTest, DownloadFolderThatCannotBeCreatedAbortsWithTheEndNotice) {
  test::WriteFileBytes(install / u"file", "a file where a folder should be");
  const std::u16string folder = install / u"file\\dl";
  Settings(u"[ZELK]\r\nDOWN_PATH=" + folder + u"\r\nDELETE=1\r\n");
  fake.SessionFails = false;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Out(), std::u16string(kTrying) + kGiven + folder + u"\r\n" + kCreating +
                       u"ダウンロードパスが作成出来ません. 処理を中止します.\r\n");
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, u"それではアップデートプログラムを終了致します");
  EXPECT_EQ(fake.OpenInetHandles, 0) << "no Internet session is opened";
}

TEST_F(RunSettingsTest, DeleteModeIsAnnouncedAsTheFileSaysIt) {
  for (const auto& [value, line] :
       {std::pair{u"1", u"削除されます."}, std::pair{u"$2", u"ゴミ箱へ投棄されます."},
        std::pair{u"0x2", u"ゴミ箱へ投棄されます."}, std::pair{u"3", u"保持されます."},
        std::pair{u"yes", u"保持されます."}}) {
    FakePlatform local;
    local.ModulePath = fake.ModulePath;
    local.SessionFails = true;
    Settings(u"[ZELK]\r\nDELETE=" + std::u16string(value) + u"\r\n");
    EXPECT_EQ(RunUpdate(local, {}), 0);
    EXPECT_EQ(test::DecodedStdOut(local),
              std::u16string(kTrying) + u"ダウンロードしたアーカイブは" + line + u"\r\n");
  }
}

// The report the run ends with when the settings file cannot be read: no line before it.
void ExpectErrorReport(const FakePlatform& fake, const std::u16string& className,
                       const std::u16string& message) {
  EXPECT_EQ(fake.StdOut, "");
  const std::u16string report = DecodeCodePage(fake.StdErr, OemCodePage());
  const std::u16string head = className + u" がモジュール zelkupd.exe の ";
  EXPECT_EQ(report.substr(0, head.size()), head);
  const std::u16string tail = u" で発生しました。\r\n" + message;
  EXPECT_NE(report.find(tail), std::u16string::npos) << Utf16ToUtf8(report);
}
void ExpectOpenErrorReport(const FakePlatform& fake, const std::u16string& settings) {
  ExpectErrorReport(fake, u"EFOpenError", u"ファイル " + settings + u" は開けません。 ");
  const std::u16string report = DecodeCodePage(fake.StdErr, OemCodePage());
  EXPECT_EQ(report.substr(report.size() - 3), u" \r\n");
}

// A file that opens but cannot be read to its end (a range another program has locked) is no
// more readable than one that does not open: taking part of it would rewrite it without the rest.
TEST_F(RunSettingsTest, UnreadableSettingsFileEndsTheRunBeforeItsFirstLine) {
  const std::u16string settings = install / u"zelkupd.INI";
  // The download folder lies inside the test's own folder, where a run that went on would make it.
  const std::string bytes = "[ZELK]\r\nPREV_FILE=a.zip\r\nDOWN_PATH=%zelk%\\dl\r\nDELETE=1\r\n";
  for (const TFaultPoint point : {TFaultPoint::Open, TFaultPoint::Read}) {
    FakePlatform local;
    local.ModulePath = fake.ModulePath;
    test::WriteFileBytes(settings, bytes);
    {
      const test::TFaultScope denied(point, settings);
      EXPECT_EQ(RunUpdate(local, {install / u"zelk32_156.zip"}), 1);
    }
    if (point == TFaultPoint::Open) {
      ExpectOpenErrorReport(local, settings);
    } else {
      ExpectErrorReport(local, u"EReadError", u"ストリームからの読み取りエラー\r\n");
    }
    EXPECT_TRUE(local.Calls.empty()) << "not even the Internet session was tried";
    EXPECT_EQ(test::ReadFileBytes(settings), bytes);
  }
}

#ifdef _WIN32
TEST_F(RunSettingsTest, SettingsFileHeldOpenForWritingEndsTheRunBeforeItsFirstLine) {
  const std::u16string settings = install / u"zelkupd.INI";
  const TFileStream writer(settings, kCreateWriteExclusive);
  EXPECT_EQ(Run(), 1);
  ExpectOpenErrorReport(fake, settings);
}
#endif

}  // namespace
}  // namespace zelkupd
