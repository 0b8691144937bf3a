#include "update/error_report.h"

#include <gtest/gtest.h>

#include "runtime/codepage.h"
#include "support/fake_platform.h"

namespace zelkupd {
namespace {

using test::FakePlatform;

TEST(ErrorReportTest, NamesClassModuleAndAddressThenTheMessage) {
  const EFCreateError error(u"ファイル \"C:\\ZELK\\zelkupd.INI\" を作成できません。拒否");
  const std::u16string text = UncaughtErrorText(error, u"zelkupd.exe");
  const std::u16string head = u"EFCreateError がモジュール zelkupd.exe の ";
  ASSERT_EQ(text.substr(0, head.size()), head);
  const std::u16string address = text.substr(head.size(), sizeof(void*) * 2);
  for (const char16_t c : address) {
    EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) << "address " << char(c);
  }
  EXPECT_NE(address, std::u16string(address.size(), u'0'));
  EXPECT_EQ(text.substr(head.size() + address.size()),
            u" で発生しました。\r\nファイル \"C:\\ZELK\\zelkupd.INI\" を作成できません。拒否\r\n");
}

TEST(ErrorReportTest, PendingOutputComesFirstAndTheReportGoesToStandardErrorInOem) {
  FakePlatform fake;
  fake.ModulePath = u"C:\\ZELK\\zelkupd.exe";
  TRunContext ctx(fake);
  ctx.Console.PrintLine(u"ゼルク のアップデートを試みます.");
  EXPECT_TRUE(fake.StdOut.empty());
  // The OEM code page lacks the accented e: it becomes "?", not the "e" of Windows' best fit.
  ReportUncaughtError(ctx, EFOpenError(u"ファイル caf\u00E9 は開けません。 y "));
  EXPECT_EQ(DecodeCodePage(fake.StdOut, 932), u"ゼルク のアップデートを試みます.\r\n");
  const std::u16string report = DecodeCodePage(fake.StdErr, OemCodePage());
  const std::u16string head = u"EFOpenError がモジュール zelkupd.exe の ";
  const std::u16string tail = u" で発生しました。\r\nファイル caf? は開けません。 y \r\n";
  EXPECT_EQ(report.substr(0, head.size()), head);
  EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

// Output still pending for a file fails when the report writes it out; that failure must not
// take the report's place.
TEST(ErrorReportTest, AFailedConsoleStillGetsItsReport) {
  FakePlatform fake;
  TRunContext ctx(fake);
  ctx.Console.PrintLine(u"ゼルク のアップデートを試みます.");
  fake.FailWritesWith = 5;
  ReportUncaughtError(ctx, EFCreateError(u"ファイル \"x\" を作成できません。拒否"));
  EXPECT_EQ(fake.CallCount("WriteFile 34"), 1) << "the pending line was tried";
  EXPECT_EQ(fake.StdOut, "");
  const std::u16string report = DecodeCodePage(fake.StdErr, OemCodePage());
  EXPECT_TRUE(report.starts_with(u"EFCreateError がモジュール "));
  EXPECT_TRUE(report.ends_with(u"で発生しました。\r\nファイル \"x\" を作成できません。拒否\r\n"));
}

}  // namespace
}  // namespace zelkupd
