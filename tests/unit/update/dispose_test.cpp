// The disposal line, the disposal of the archive by DeleteMode and the start of ZELK.
#include "update/dispose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "runtime/codepage.h"
#include "runtime/files.h"
#include "support/fake_platform.h"
#include "support/run_texts.h"
#include "support/temp_dir.h"

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::kEndNotice;
using test::TTempDir;

class DisposeTest : public ::testing::Test {
 protected:
  DisposeTest() {
    // A console: every text reaches the fake at once, so the order of calls shows.
    fake.OutputType = kFileTypeChar;
    ctx.State.ArchivePath = dir / u"zelk32_156.zip";
    test::WriteFileBytes(ctx.State.ArchivePath, "archive");
  }
  std::u16string Out() const { return test::DecodedStdOut(fake); }

  TTempDir dir;
  FakePlatform fake;
  TRunContext ctx{fake};
};

TEST_F(DisposeTest, AnnouncementIsOneLineWhoseFirstHalfIsPushedOnItsOwn) {
  const std::vector<std::pair<std::int32_t, std::u16string>> cases = {
      {1, u"削除されます."},      {2, u"ゴミ箱へ投棄されます."}, {0, u"保持されます."},
      {3, u"保持されます."},      {-1, u"保持されます."},        {-2, u"保持されます."},
      {INT_MIN, u"保持されます."}};
  for (const auto& [mode, text] : cases) {
    FakePlatform local;
    local.OutputType = kFileTypeChar;
    TRunContext run(local);
    run.State.DeleteMode = mode;
    AnnounceDisposal(run);
    EXPECT_EQ(test::DecodedStdOut(local), u"ダウンロードしたアーカイブは" + text + u"\r\n") << mode;
    ASSERT_EQ(local.StdOutWrites.size(), 2u) << mode;
    EXPECT_EQ(local.StdOutWrites[0], EncodeCodePage(u"ダウンロードしたアーカイブは", 932));
  }
}

TEST_F(DisposeTest, ModeOneDeletesTheArchiveSilently) {
  ctx.State.DeleteMode = 1;
  DisposeArchive(ctx);
  EXPECT_FALSE(FileExists(ctx.State.ArchivePath));
  EXPECT_TRUE(fake.FileOperations.empty());
  EXPECT_EQ(Out(), u"");

  DisposeArchive(ctx);
  EXPECT_EQ(Out(), u"") << "a delete that fails is not reported";
  EXPECT_TRUE(fake.Boxes.empty());
}

TEST_F(DisposeTest, ModeTwoSendsTheOneEntryListToTheRecycleBin) {
  ctx.State.DeleteMode = 2;
  DisposeArchive(ctx);
  ASSERT_EQ(fake.FileOperations.size(), 1u);
  const TShellFileOp& op = fake.FileOperations[0];
  EXPECT_EQ(op.Func, 3u);
  EXPECT_EQ(op.From, ctx.State.ArchivePath + std::u16string(2, u'\0'));
  EXPECT_EQ(op.Flags, 0xE050);
  EXPECT_FALSE(op.AnyOperationsAborted);
  EXPECT_EQ(Out(), u"");
  EXPECT_TRUE(fake.Boxes.empty());
  EXPECT_TRUE(FileExists(ctx.State.ArchivePath)) << "the shell, not the updater, moves the file";
}

TEST_F(DisposeTest, AnyOtherModeKeepsTheArchive) {
  for (const std::int32_t mode : {0, 3, -1, -2, INT_MIN, INT_MAX}) {
    ctx.State.DeleteMode = mode;
    DisposeArchive(ctx);
    EXPECT_EQ(test::ReadFileBytes(ctx.State.ArchivePath), "archive") << mode;
  }
  EXPECT_TRUE(fake.FileOperations.empty());
  EXPECT_EQ(Out(), u"");
}

TEST_F(DisposeTest, ARecycleFailureIsReportedWithTheEndNoticeUnlessTheUserCancelled) {
  ctx.State.DeleteMode = 2;
  fake.FileOperationResult = 0x78;
  DisposeArchive(ctx);
  EXPECT_EQ(Out(), ctx.State.ArchivePath + u" をごみ箱へ投棄中に何らかのエラーが発生しました\r\n");
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, kEndNotice);
  const auto write = std::find_if(fake.Calls.begin(), fake.Calls.end(), [](const std::string& c) {
    return c.rfind("WriteFile", 0) == 0;
  });
  const auto box = std::find(fake.Calls.begin(), fake.Calls.end(), "MessageBox 0");
  EXPECT_LT(write, box) << "the line is on the console before the box appears";

  FakePlatform cancelled;
  TRunContext run(cancelled);
  run.State.DeleteMode = 2;
  run.State.ArchivePath = ctx.State.ArchivePath;
  cancelled.FileOperationResult = 0x4C7;
  cancelled.FileOperationAborts = true;
  DisposeArchive(run);
  run.Console.Close();
  EXPECT_EQ(cancelled.StdOut, "");
  EXPECT_TRUE(cancelled.Boxes.empty());
}

TEST_F(DisposeTest, ZelkIsStartedFromTheProgramFolderWithTheDefaultVerbAfterItsLine) {
  ctx.State.ProgramDir = u"C:\\Program Files\\ゼルク\\";
  LaunchApplication(ctx);
  EXPECT_EQ(Out(), u"ゼルク を起動...\r\n");
  ASSERT_EQ(fake.Executes.size(), 1u);
  const FakePlatform::TExecute& run = fake.Executes[0];
  EXPECT_EQ(run.Verb, u"");
  EXPECT_EQ(run.File, u"C:\\Program Files\\ゼルク\\ZELK.EXE");
  EXPECT_EQ(run.Directory, u"C:\\Program Files\\ゼルク\\");
  EXPECT_EQ(run.Show, 1);
  EXPECT_EQ(fake.Calls.back().rfind("ShellExecute", 0), 0u) << "the line comes first";
}

}  // namespace
}  // namespace zelkupd
