// The updater's settings: the file name, unquoting of DOWN_PATH, the three keys and the one line
// that WriteSettings records.
#include "update/settings.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "support/fake_platform.h"
#include "support/fault_scope.h"
#include "support/temp_dir.h"

namespace zelkupd {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

TEST(SettingsFileNameTest, ReplacesTheExtensionOfTheExecutableOnly) {
  EXPECT_EQ(SettingsFileName(u"C:\\ZELK\\zelkupd.exe"), u"C:\\ZELK\\zelkupd.INI");
  EXPECT_EQ(SettingsFileName(u"C:\\ZELK\\zelk.upd.EXE"), u"C:\\ZELK\\zelk.upd.INI");
  EXPECT_EQ(SettingsFileName(u"C:\\ZELK.1\\zelkupd"), u"C:\\ZELK.1\\zelkupd.INI");
  EXPECT_EQ(SettingsFileName(u"C:zelkupd"), u"C:zelkupd.INI");
}

TEST(UnquoteTest, FollowsEveryRuleOfTheScan) {
  const struct {
    std::u16string Text;
    std::u16string Result;
  } cases[] = {
      {u"", u""},
      {u"C:\\My Downloads", u"C:\\My Downloads"},
      {u"\"C:\\My Downloads\"", u"C:\\My Downloads"},
      {u"\"C:\\dl\" and more", u"C:\\dl"},
      {u"\"\"", u""},
      {u"\"", u""},
      {u"\"\"more", u"\"\"more"},
      {u"\"C:\\dl", u"\"C:\\dl"},
      {u"\"C:\\dl\"\"", u"C:\\dl\""},
      {u"\"a\"\"b\"", u"a\"b"},
      {u"\"a\"\"b", u"\"a\"\"b"},
      {u"x\"y\"", u"x\"y\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Unquote(c.Text, u'"'), c.Result);
  }
}

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() { fake.ModulePath = install / u"zelkupd.exe"; }

  test::TTempDir install;
  test::FakePlatform fake;
  TRunContext ctx{fake};
  std::u16string settings = install / u"zelkupd.INI";
};

TEST_F(SettingsTest, ReadsTheThreeKeysInAnyCaseAndUnquotesTheDownloadPath) {
  WriteFileBytes(settings, R"([zelk]
prev_file = zelk32_155.zip
  Down_Path =  " C:\My Downloads\ "  
delete = $2
)");
  ReadSettings(ctx);
  EXPECT_EQ(ctx.State.PrevFile, u"zelk32_155.zip");
  EXPECT_EQ(ctx.State.DownPath, u" C:\\My Downloads\\ ");
  EXPECT_EQ(ctx.State.DeleteMode, 2);

  for (const auto& [text, mode] : {std::pair{"0x1", 1}, std::pair{"3", 3}, std::pair{"yes", 0},
                                   std::pair{"", 0}, std::pair{"2 ;recycle", 0}}) {
    WriteFileBytes(settings, std::string("[ZELK]\r\nDOWN_PATH=\"\"\r\nDELETE=") + text);
    ReadSettings(ctx);
    EXPECT_EQ(ctx.State.DeleteMode, mode) << text;
    EXPECT_EQ(ctx.State.DownPath, u"");
  }
}

TEST_F(SettingsTest, NothingIsWrittenWithoutANewFile) {
  WriteSettings(ctx);
  EXPECT_FALSE(FileExists(settings));
}

TEST_F(SettingsTest, FirstWriteCreatesExactlyThreeLines) {
  ctx.State.NewFile = u"zelk32_155.zip";
  WriteSettings(ctx);
  EXPECT_EQ(ReadFileBytes(settings), "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n\r\n");
}

TEST_F(SettingsTest, WriteKeepsTheUsersKeysAndDropsCommentsAndBlankLines) {
  WriteFileBytes(settings,
                 "; my settings\r\n\r\n[ZELK]\r\nDOWN_PATH = \"C:\\My dl\"\r\nPREV_FILE=a.zip\r\n"
                 "\r\nDELETE=1\r\n");
  ctx.State.NewFile = u"zelk32_156.zip";
  WriteSettings(ctx);
  EXPECT_EQ(ReadFileBytes(settings),
            "[ZELK]\r\nDOWN_PATH=\"C:\\My dl\"\r\nPREV_FILE=zelk32_156.zip\r\nDELETE=1\r\n\r\n");
}

TEST_F(SettingsTest, UnwritableFileRaisesCreateErrorAndStaysWhole) {
  constexpr char kOld[] = "[ZELK]\r\nPREV_FILE=a.zip\r\n";
  WriteFileBytes(settings, kOld);
  ctx.State.NewFile = u"zelk32_156.zip";
  const test::TFaultScope inUse(TFaultPoint::Replace, settings);
  EXPECT_THROW(WriteSettings(ctx), EFCreateError);
  EXPECT_EQ(ReadFileBytes(settings), kOld);
  EXPECT_FALSE(FileExists(ReplacementFileName(settings)));
}

}  // namespace
}  // namespace zelkupd
