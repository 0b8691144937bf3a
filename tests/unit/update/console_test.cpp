#include "update/console.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "support/fake_platform.h"

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "platform/win32/win32_platform.h"
#endif

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

#ifdef _WIN32
// The standard output and error as a pipe in non-blocking mode whose reader reads nothing: a
// write larger than its room succeeds without taking a byte (Wine takes none, Windows what fits
// and then none). Without the check the writers would try again for ever, and this test would
// never end.
class TStalledPipeAsStdHandles {
 public:
  TStalledPipeAsStdHandles() {
    ::CreatePipe(&FReader, &FWriter, nullptr, 16);
    DWORD mode = PIPE_NOWAIT;
    ::SetNamedPipeHandleState(FWriter, &mode, nullptr, nullptr);
    ::SetStdHandle(STD_OUTPUT_HANDLE, FWriter);
    ::SetStdHandle(STD_ERROR_HANDLE, FWriter);
  }
  ~TStalledPipeAsStdHandles() {
    ::SetStdHandle(STD_OUTPUT_HANDLE, FOutput);
    ::SetStdHandle(STD_ERROR_HANDLE, FError);
    ::CloseHandle(FWriter);
    ::CloseHandle(FReader);
  }
  TStalledPipeAsStdHandles(const TStalledPipeAsStdHandles&) = delete;
  TStalledPipeAsStdHandles& operator=(const TStalledPipeAsStdHandles&) = delete;

 private:
  HANDLE FOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE FError = ::GetStdHandle(STD_ERROR_HANDLE);
  HANDLE FReader = nullptr;
  HANDLE FWriter = nullptr;
};

TEST(Win32ConsoleTest, AWriteThatTakesNoByteIsAnIoErrorNotASpin) {
  const TStalledPipeAsStdHandles stalled;
  Win32Platform system;
  TConsole console(system);
  try {
    console.PrintLine(std::u16string(200, u'x'));
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), static_cast<std::uint32_t>(ERROR_WRITE_FAULT));
  }
  system.WriteStdError(std::string(200, 'x'));
}
#endif

}  // namespace
}  // namespace zelkupd
