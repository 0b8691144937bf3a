// The installation phase of the run over the fake platform: closing ZELK's programs before the
// extraction and starting ZELK at the end. A local archive that is no ZIP file gets the run there
// without a download; its extraction fails, so the run ends through the retries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "update/run.h"

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::TTempDir;

class RunInstallTest : public ::testing::Test {
 protected:
  RunInstallTest() {
    fake.ModulePath = install / u"zelkupd.exe";
    test::WriteFileBytes(archive, "this is no zip archive");
  }

  int Run() { return RunUpdate(fake, {archive}); }
  std::u16string Out() const { return test::DecodedStdOut(fake); }

  // The calls from the first one that starts with `first` up to the extraction's first retry
  // pause, with the console writes left out.
  std::vector<std::string> CallsBeforeExtraction(const std::string& first) const {
    std::vector<std::string> calls;
    bool started = false;
    for (const std::string& call : fake.Calls) {
      if (call == "Sleep 750") {
        break;
      }
      started = started || call.rfind(first, 0) == 0;
      if (started && call.rfind("WriteFile", 0) != 0) {
        calls.push_back(call);
      }
    }
    return calls;
  }
  // ZELK is started once, as the run's last act before closing the Internet handle.
  void ExpectZelkStarted() const {
    ASSERT_EQ(fake.Executes.size(), 1u);
    EXPECT_EQ(fake.Executes[0].Verb, u"");
    EXPECT_EQ(fake.Executes[0].File, zelk);
    EXPECT_EQ(fake.Executes[0].Directory, install.Path());
    EXPECT_EQ(fake.Executes[0].Show, 1);
    const auto execute =
        std::find_if(fake.Calls.begin(), fake.Calls.end(),
                     [](const std::string& c) { return c.rfind("ShellExecute ", 0) == 0; });
    const auto end = std::find(fake.Calls.begin(), fake.Calls.end(), "InternetCloseHandle");
    EXPECT_NE(execute, fake.Calls.end());
    EXPECT_LT(execute, end);
    const std::u16string out = Out();
    const std::u16string tail = u"何はともあれ ゼルク の起動を試みます.\r\nゼルク を起動...\r\n";
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), tail.size())), tail);
  }

  TTempDir install;
  FakePlatform fake;
  const std::u16string archive = install / u"zelk32_156.zip";
  const std::u16string zelk = install / u"ZELK.EXE";
  const std::u16string zelkCfg = install / u"ZELKCFG.EXE";
};

TEST_F(RunInstallTest, WithNothingRunningTheCloseIsCompleteAtOnce) {
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(fake.CallCount("EnumWindows"), 2) << "ZELKCFG.EXE once, ZELK.EXE slot 0";
  EXPECT_EQ(fake.CallCount("Sleep 100"), 0);
  EXPECT_TRUE(fake.Waits.empty());
  EXPECT_NE(Out().find(u"ローカルのアーカイブファイルが指定されました.\r\n"
                       u"起動中の ゼルク を終了...\r\n起動中の ゼルク を終了完了.\r\n" +
                       archive + u" の展開に失敗しました.\r\n"),
            std::u16string::npos);
  ExpectZelkStarted();
  EXPECT_EQ(test::ReadFileBytes(archive), "this is no zip archive");
}

TEST_F(RunInstallTest, ARunningZelkIsAskedToCloseAndWaitedForBeforeTheExtraction) {
  fake.AddWindow(40, 50, zelk).ClosesAfter = 2;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(CallsBeforeExtraction("PostMessage"),
            (std::vector<std::string>{"PostMessage 40 16 0 0", "Sleep 100", "EnumWindows",
                                      "OpenProcess 1040 50", "QueryFullProcessImageName 521",
                                      "GetModuleFileNameEx 521", "CloseHandle",
                                      "OpenProcess 1048576 50", "PostMessage 40 16 0 0",
                                      "Sleep 100", "EnumWindows", "WaitForSingleObject 50 3000",
                                      "CloseHandle", "WaitForSingleObject 50 3000", "CloseHandle"}))
      << "found twice, so slots 0 and 1 are waited for; the process has gone by then";
  EXPECT_NE(Out().find(u"起動中の ゼルク を終了完了.\r\n"), std::u16string::npos);
  ExpectZelkStarted();
}

TEST_F(RunInstallTest, SeveralZelkProcessesFillOneSlotEach) {
  fake.AddWindow(40, 50, zelk);
  fake.AddWindow(41, 51, u"\\\\?\\" + zelk);
  fake.AddWindow(42, 52, zelk);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(fake.CallCount("PostMessage 40 16 0 0"), 1);
  EXPECT_EQ(fake.CallCount("PostMessage 41 16 0 0"), 0)
      << "another form of the path is another program";
  EXPECT_EQ(fake.CallCount("PostMessage 42 16 0 0"), 1);
  EXPECT_EQ(fake.CallCount("Sleep 100"), 2);
  EXPECT_EQ(fake.CallCount("OpenProcess 1048576 50"), 1);
  EXPECT_EQ(fake.CallCount("OpenProcess 1048576 52"), 1);
  EXPECT_EQ(fake.CallCount("OpenProcess 1048576 51"), 0);
  ExpectZelkStarted();
}

TEST_F(RunInstallTest, AZelkThatNeverClosesGets21RequestsThenTheTimeoutLineAndTheRunGoesOn) {
  fake.AddWindow(40, 50, zelk).ClosesAfter = 0;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(fake.CallCount("PostMessage 40 16 0 0"), 21);
  EXPECT_EQ(fake.CallCount("Sleep 100"), 21) << "the pause follows the last request too";
  EXPECT_EQ(fake.CallCount("EnumWindows"), 22) << "no 22nd search for ZELK.EXE";
  std::vector<std::uint32_t> waits(21, 3000);
  waits[0] = 2000;
  EXPECT_EQ(fake.Waits, waits) << "slot 20 waits at once, then the 20 recorded slots";
  const std::vector<std::string> calls = CallsBeforeExtraction("PostMessage");
  const auto last = std::find(calls.rbegin(), calls.rend(), "PostMessage 40 16 0 0").base();
  EXPECT_EQ(std::vector<std::string>(last - 2, last + 3),
            (std::vector<std::string>{"OpenProcess 1048576 50", "PostMessage 40 16 0 0",
                                      "WaitForSingleObject 50 2000", "CloseHandle", "Sleep 100"}));
  EXPECT_NE(Out().find(u"起動中の ゼルク を終了...\r\n終了待ちタイムアウト発生.\r\n" + archive +
                       u" の展開に失敗しました.\r\n"),
            std::u16string::npos);
  EXPECT_EQ(fake.OpenProcessHandles, 0);
  ExpectZelkStarted();
}

TEST_F(RunInstallTest, TheConfigurationProgramIsAskedOnceAndWaitedFor2000MsRightAway) {
  fake.AddWindow(30, 60, zelkCfg).ClosesAfter = 0;
  fake.AddWindow(31, 61, zelkCfg);
  EXPECT_EQ(Run(), 0);
  const std::vector<std::string> calls = CallsBeforeExtraction("OpenProcess 1048576");
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "OpenProcess 1048576 60", "PostMessage 30 16 0 0",
                       "WaitForSingleObject 60 2000", "CloseHandle", "EnumWindows",
                       "OpenProcess 1040 60", "QueryFullProcessImageName 521",
                       "GetModuleFileNameEx 521", "CloseHandle", "OpenProcess 1040 61",
                       "QueryFullProcessImageName 521", "GetModuleFileNameEx 521", "CloseHandle"}))
      << "its second window is left alone, its process never recorded";
  EXPECT_NE(Out().find(u"起動中の ゼルク を終了完了.\r\n"), std::u16string::npos)
      << "its own time-out does not count";
  ExpectZelkStarted();
}

TEST_F(RunInstallTest, HiddenOwnedAndForeignWindowsAreLeftAlone) {
  fake.AddWindow(40, 50, zelk).Visible = false;
  fake.AddWindow(41, 51, zelk).Owner = 40;
  fake.AddWindow(42, 52, zelkCfg).Visible = false;
  fake.AddWindow(43, 53, u"C:\\OTHER\\ZELK.EXE");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(std::count_if(fake.Calls.begin(), fake.Calls.end(),
                          [](const std::string& c) { return c.rfind("PostMessage", 0) == 0; }),
            0);
  EXPECT_TRUE(fake.Waits.empty());
  EXPECT_NE(Out().find(u"起動中の ゼルク を終了完了.\r\n"), std::u16string::npos);
  ExpectZelkStarted();
}

TEST_F(RunInstallTest, ARunThatInstallsNothingClosesAndStartsNothing) {
  fake.AddWindow(40, 50, zelk);
  EXPECT_EQ(RunUpdate(fake, {install / u"missing.zip"}), 0);
  EXPECT_EQ(fake.CallCount("EnumWindows"), 0);
  EXPECT_TRUE(fake.Executes.empty());
}

}  // namespace
}  // namespace zelkupd
