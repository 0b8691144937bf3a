#include "runtime/files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/temp_dir.h"

namespace zelkupd {
namespace {

using test::TTempDir;

TEST(FilesTest, ExistenceTellsFilesFromFolders) {
  TTempDir dir;
  test::WriteFileBytes(dir / u"f", "x");
  EXPECT_TRUE(FileExists(dir / u"f"));
  EXPECT_FALSE(DirectoryExists(dir / u"f"));
  EXPECT_TRUE(DirectoryExists(dir.Path()));
  EXPECT_FALSE(FileExists(dir.Path()));
  EXPECT_FALSE(FileExists(dir / u"missing"));
}

TEST(FilesTest, ForceDirectoriesCreatesEveryMissingParent) {
  TTempDir dir;
  EXPECT_TRUE(ForceDirectories(dir / u"a\\b\\c\\"));
  EXPECT_TRUE(DirectoryExists(dir / u"a\\b\\c"));
  EXPECT_TRUE(ForceDirectories(dir / u"a\\b"));  // existing is fine
  test::WriteFileBytes(dir / u"file", "x");
  EXPECT_FALSE(ForceDirectories(dir / u"file\\sub"));
}

TEST(FilesTest, RenameRefusesAnExistingTargetAndMoveFileOverReplacesIt) {
  TTempDir dir;
  test::WriteFileBytes(dir / u"old", "old");
  test::WriteFileBytes(dir / u"new", "new");
  EXPECT_FALSE(RenameFile(dir / u"new", dir / u"old"));
  EXPECT_EQ(test::ReadFileBytes(dir / u"old"), "old");
  EXPECT_TRUE(MoveFileOver(dir / u"new", dir / u"old"));
  EXPECT_EQ(test::ReadFileBytes(dir / u"old"), "new");
  EXPECT_FALSE(FileExists(dir / u"new"));
  EXPECT_TRUE(RenameFile(dir / u"old", dir / u"renamed"));
  EXPECT_TRUE(FileExists(dir / u"renamed"));
}

TEST(FilesTest, SetFileTimesStampsFilesAndFolders) {
  TTempDir dir;
  test::WriteFileBytes(dir / u"f", "x");
  ASSERT_TRUE(CreateDir(dir / u"sub"));
  const TFileTime stamp = TFileTime::FromTicks(130000000000000000ULL);
  for (const std::u16string& path : {dir / u"f", dir / u"sub"}) {
    ASSERT_TRUE(SetFileTimes(path, stamp, stamp));
    TFileTimes times;
    ASSERT_TRUE(GetFileTimes(path, times));
    EXPECT_EQ(times.LastWrite, stamp);
  }
  EXPECT_FALSE(SetFileTimes(dir / u"missing", stamp, stamp));
}

TEST(FilesTest, FindFileGivesTheStoredNameKindAndTimes) {
  TTempDir dir;
  test::WriteFileBytes(dir / u"Mixed.Case", "x");
  ASSERT_TRUE(CreateDir(dir / u"sub"));
  const TFileTime stamp = TFileTime::FromTicks(130000000000000000ULL);
  ASSERT_TRUE(SetFileTimes(dir / u"Mixed.Case", stamp, stamp));
  TFoundFile found;
  ASSERT_TRUE(FindFile(dir / u"Mixed.Case", found));
  EXPECT_EQ(found.Name, u"Mixed.Case");
  EXPECT_FALSE(found.IsDirectory);
  EXPECT_EQ(found.LastWrite, stamp);
  ASSERT_TRUE(FindFile(dir / u"sub", found));
  EXPECT_EQ(found.Name, u"sub");
  EXPECT_TRUE(found.IsDirectory);
  EXPECT_FALSE(FindFile(dir / u"missing", found));
#ifdef _WIN32
  ASSERT_TRUE(FindFile(dir / u"MIXED.CASE", found));
  EXPECT_EQ(found.Name, u"Mixed.Case");
  EXPECT_EQ(found.Creation, stamp);
  EXPECT_FALSE(FindFile(dir / u"Mixed.*", found));
#endif
}

TEST(FilesTest, ListDirectoryAndRemoval) {
  TTempDir dir;
  test::WriteFileBytes(dir / u"f", "x");
  ASSERT_TRUE(CreateDir(dir / u"d"));
  auto entries = ListDirectory(dir.Path());
  std::sort(entries.begin(), entries.end(),
            [](const TDirEntry& a, const TDirEntry& b) { return a.Name < b.Name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Name, u"d");
  EXPECT_TRUE(entries[0].IsDirectory);
  EXPECT_EQ(entries[1].Name, u"f");
  EXPECT_FALSE(entries[1].IsDirectory);
  EXPECT_TRUE(RemoveFile(dir / u"f"));
  EXPECT_TRUE(RemoveDir(dir / u"d"));
  EXPECT_TRUE(ListDirectory(dir.Path()).empty());
}

TEST(FilesTest, SysErrorMessageHasNoTrailingPeriodOrBlank) {
  const std::u16string text = SysErrorMessage(LastOsError() == 0 ? 2 : LastOsError());
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), u'.');
  EXPECT_GT(text.back(), u' ');
}

}  // namespace
}  // namespace zelkupd
