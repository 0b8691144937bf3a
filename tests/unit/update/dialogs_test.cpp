#include "update/dialogs.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace zelkupd {
namespace {

using test::FakePlatform;

TEST(AskDownloadTest, ShowsTheCallersLinesAboveTheQuestionWithTheDefaultButton) {
  FakePlatform fake;
  TRunContext ctx(fake);
  fake.BoxAnswers = {kIdYes, kIdNo};
  AskDownload(ctx, u"『 a.zip 』が対象です.", true);
  EXPECT_EQ(ctx.State.Answer, u"Y");
  AskDownload(ctx, u"line1\r\nline2", false);
  EXPECT_EQ(ctx.State.Answer, u"N");
  ASSERT_EQ(fake.Boxes.size(), 2u);
  EXPECT_EQ(fake.Boxes[0].Text, u"『 a.zip 』が対象です.\r\n取得しますか？");
  EXPECT_EQ(fake.Boxes[0].Caption, u"ゼルク x86 更新");
  EXPECT_EQ(fake.Boxes[0].Style, 35u);
  EXPECT_EQ(fake.Boxes[1].Text, u"line1\r\nline2\r\n取得しますか？");
  EXPECT_EQ(fake.Boxes[1].Style, 291u);
}

TEST(AskDownloadTest, ABoxThatCannotBeShownCountsAsNo) {
  FakePlatform fake;
  TRunContext ctx(fake);
  fake.BoxAnswers = {0};
  AskDownload(ctx, u"x", true);
  EXPECT_EQ(ctx.State.Answer, u"N");
}

TEST(AskDownloadTest, CancelEndsTheRunWithExitCodeZero) {
  FakePlatform fake;
  TRunContext ctx(fake);
  fake.BoxAnswers = {kIdCancel};
  try {
    AskDownload(ctx, u"x", true);
    FAIL() << "Cancel must end the run";
  } catch (const EndOfRun& end) {
    EXPECT_EQ(end.ExitCode, 0);
  }
}

TEST(EndNoticeTest, OneOkButtonNoIconFixedText) {
  FakePlatform fake;
  TRunContext ctx(fake);
  ShowEndNotice(ctx);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, u"それではアップデートプログラムを終了致します");
  EXPECT_EQ(fake.Boxes[0].Caption, u"ゼルク x86 更新");
  EXPECT_EQ(fake.Boxes[0].Style, 0u);
}

}  // namespace
}  // namespace zelkupd
