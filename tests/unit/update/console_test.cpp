#include "update/console.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "support/fake_platform.h"

namespace zelkupd {
namespace {

using test::FakePlatform;

TEST(ConsoleTest, EmptyLineIsExactlyCrLf) {
  FakePlatform fake;
  fake.OutputType = kFileTypeChar;
  TConsole console(fake);
  console.PrintLine(u"");
  EXPECT_EQ(fake.StdOut, "\r\n");
}

TEST(ConsoleTest, ConsoleGetsEveryTextAtOnceInItsCodePage) {
  FakePlatform fake;
  fake.OutputType = kFileTypeChar;
  fake.ConsoleCodePage = 65001;
  TConsole console(fake);
  console.PrintText(u"#");
  EXPECT_EQ(fake.StdOut, "#");
  console.PrintLine(u"ゼ");
  EXPECT_EQ(fake.StdOut, "#\xE3\x82\xBC\r\n");
  EXPECT_EQ(fake.StdOutWrites.size(), 2u);
}

TEST(ConsoleTest, ConsoleWithoutJapaneseShowsDefaultCharacters) {
  FakePlatform fake;
  fake.OutputType = kFileTypeChar;
  fake.ConsoleCodePage = 437;
  TConsole console(fake);
  console.PrintLine(u"ゼルク x86");
  EXPECT_EQ(fake.StdOut, "??? x86\r\n");
}

TEST(ConsoleTest, FileOrPipeGetsAnsiBytesIn128BytePiecesAndTheRestAtClose) {
  for (const std::uint32_t kind : {kFileTypeDisk, kFileTypePipe}) {
    FakePlatform fake;
    fake.OutputType = kind;
    fake.ConsoleCodePage = 437;  // not used for a file
    TConsole console(fake);
    for (int i = 0; i < 127; ++i) {
      console.PrintText(u"#");
    }
    EXPECT_TRUE(fake.StdOut.empty()) << "nothing before 128 bytes";
    console.PrintText(u"#");
    EXPECT_EQ(fake.StdOut, std::string(128, '#'));
    console.PrintLine(u"ゼ");
    EXPECT_EQ(fake.StdOut.size(), 128u);
    console.Close();
    EXPECT_EQ(fake.StdOut, std::string(128, '#') + "\x83\x5B\r\n");
    EXPECT_EQ(fake.StdOutWrites.size(), 2u);
  }
}

TEST(ConsoleTest, ATextLongerThanTheBufferIsWrittenInFullPieces) {
  FakePlatform fake;
  TConsole console(fake);
  console.PrintLine(std::u16string(300, u'a'));
  ASSERT_EQ(fake.StdOutWrites.size(), 2u);
  EXPECT_EQ(fake.StdOutWrites[0].size(), 128u);
  EXPECT_EQ(fake.StdOutWrites[1].size(), 128u);
  console.Close();
  EXPECT_EQ(fake.StdOut.size(), 302u);
}

TEST(ConsoleTest, CodePageIsFixedAtTheFirstWrite) {
  FakePlatform fake;
  fake.OutputType = kFileTypeChar;
  fake.ConsoleCodePage = 932;
  TConsole console(fake);
  console.PrintText(u"ゼ");
  fake.ConsoleCodePage = 65001;
  console.PrintText(u"ゼ");
  EXPECT_EQ(fake.StdOut, "\x83\x5B\x83\x5B");
}

TEST(ConsoleTest, UnknownHandleKindFailsWithError105) {
  FakePlatform fake;
  fake.OutputType = kFileTypeUnknown;
  TConsole console(fake);
  try {
    console.PrintLine(u"x");
    FAIL() << "no exception";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), 105u);
    EXPECT_EQ(error.Message(), u"I/O エラー 105");
    EXPECT_STREQ(error.ClassName(), "EInOutError");
  }
}

TEST(ConsoleTest, FailedWriteRaisesWithTheSystemCode) {
  FakePlatform fake;
  fake.OutputType = kFileTypeChar;
  fake.FailWritesWith = 5;
  TConsole console(fake);
  try {
    console.PrintLine(u"x");
    FAIL() << "no exception";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Message(), u"ファイルへのアクセスが拒否されました");
  }
  fake.FailWritesWith = 109;
  EXPECT_THROW(console.PrintLine(u"x"), EInOutError);
}

TEST(ConsoleTest, FailedFlushOfAFileIsReportedAtClose) {
  FakePlatform fake;
  fake.FailWritesWith = 112;
  TConsole console(fake);
  console.PrintLine(u"x");
  EXPECT_THROW(console.Close(), EInOutError);
}

}  // namespace
}  // namespace zelkupd
