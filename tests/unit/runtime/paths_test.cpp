#include "runtime/paths.h"

#include <gtest/gtest.h>

namespace zelkupd {
namespace {

TEST(PathsTest, FolderAndNameSplitAtLastBackslashOrColon) {
  EXPECT_EQ(ExtractFilePath(u"C:\\ZELK\\zelkupd.exe"), u"C:\\ZELK\\");
  EXPECT_EQ(ExtractFileName(u"C:\\ZELK\\zelkupd.exe"), u"zelkupd.exe");
  EXPECT_EQ(ExtractFilePath(u"C:zelkupd.exe"), u"C:");
  EXPECT_EQ(ExtractFilePath(u"zelkupd.exe"), u"");
  EXPECT_EQ(ExtractFileName(u"a/b.zip"), u"a/b.zip");  // "/" is no separator here
}

TEST(PathsTest, ChangeFileExtOnlyTouchesTheNamePart) {
  EXPECT_EQ(ChangeFileExt(u"C:\\ZELK\\zelkupd.exe", u".INI"), u"C:\\ZELK\\zelkupd.INI");
  EXPECT_EQ(ChangeFileExt(u"C:\\ZELK\\zelkupd", u".INI"), u"C:\\ZELK\\zelkupd.INI");
  EXPECT_EQ(ChangeFileExt(u"C:\\my.dir\\zelkupd", u".INI"), u"C:\\my.dir\\zelkupd.INI");
  EXPECT_EQ(ChangeFileExt(u"C:\\ZELK\\a.b.exe", u".INI"), u"C:\\ZELK\\a.b.INI");
}

TEST(PathsTest, TrailingBackslashIsAddedOrRemovedOnce) {
  EXPECT_EQ(IncludeTrailingBackslash(u"C:\\ZELK"), u"C:\\ZELK\\");
  EXPECT_EQ(IncludeTrailingBackslash(u"C:\\ZELK\\"), u"C:\\ZELK\\");
  EXPECT_EQ(IncludeTrailingBackslash(u"C:\\ZELK/"), u"C:\\ZELK/\\");
  EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\ZELK\\"), u"C:\\ZELK");
  EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\ZELK"), u"C:\\ZELK");
}

TEST(PathsTest, ExpandFileNameResolvesRelativeAndDotComponents) {
  const std::u16string cwd = IncludeTrailingBackslash(CurrentDirectory());
  EXPECT_EQ(ExpandFileName(u"dl\\zelk32_155.zip"), cwd + u"dl\\zelk32_155.zip");
  EXPECT_EQ(ExpandFileName(cwd + u"a\\.\\b\\..\\c.zip"), cwd + u"a\\c.zip");
  EXPECT_EQ(ExpandFileName(cwd + u"a/b.zip"), cwd + u"a\\b.zip");
}

}  // namespace
}  // namespace zelkupd
