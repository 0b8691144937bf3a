// TZipFile::Extract on real folders: where each entry lands, what is created, what is replaced.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/errors.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "support/raises.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/zip_file.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

using test::TTempDir;
using test::TZipBuilder;

class ZipExtractTest : public ::testing::Test {
 protected:
  void Open(const TZipBuilder& builder) {
    test::WriteFileBytes(dir / u"a.zip", builder.Build());
    zip.Open(dir / u"a.zip", TZipMode::zmRead);
  }
  void ExtractAll(bool createSubdirs) {
    for (int i = 0; i < zip.GetFileCount(); ++i) {
      zip.Extract(i, out, createSubdirs);
    }
  }

  TTempDir dir;
  const std::u16string out = dir / u"out\\";
  TZipFile zip;
};

TEST_F(ZipExtractTest, EntriesLandAtTheirNamesWithFoldersCreated) {
  const std::string noise = test::NoiseBytes(300000);
  TZipBuilder builder;
  builder.Stored("doc/", "").Stored("a/b/c.txt", "deep").Stored("empty", "");
  // An encryption flag on a folder hides no data: the folder is made as any other.
  builder.Add({.Name = "sealed/", .Data = "", .Flags = 1});
  builder.Deflated("big.bin", noise).Deflated("none", "");
  builder.Add(
      {.Name = "bit3.bin", .Data = noise.substr(0, 8192), .Method = 8, .DataDescriptor = true});
  builder.Add({.Name = "bit3.txt", .Data = "stored, sizes after", .DataDescriptor = true});
  Open(builder);
  ExtractAll(true);
  EXPECT_TRUE(DirectoryExists(out + u"doc"));
  EXPECT_TRUE(ListDirectory(out + u"doc").empty());
  EXPECT_TRUE(DirectoryExists(out + u"sealed"));
  EXPECT_EQ(test::ReadFileBytes(out + u"a\\b\\c.txt"), "deep");
  EXPECT_TRUE(FileExists(out + u"empty"));
  EXPECT_EQ(test::ReadFileBytes(out + u"empty"), "");
  EXPECT_EQ(test::ReadFileBytes(out + u"big.bin"), noise);
  EXPECT_TRUE(FileExists(out + u"none"));
  EXPECT_EQ(test::ReadFileBytes(out + u"bit3.bin"), noise.substr(0, 8192));
  EXPECT_EQ(test::ReadFileBytes(out + u"bit3.txt"), "stored, sizes after");
}

TEST_F(ZipExtractTest, WithoutSubfoldersOnlyTheLastComponentCounts) {
  ASSERT_TRUE(CreateDir(out));
  Open(TZipBuilder().Stored("x/y/z.txt", "z").Stored("sub/", ""));
  ExtractAll(false);
  EXPECT_EQ(test::ReadFileBytes(out + u"z.txt"), "z");
  EXPECT_EQ(ListDirectory(out).size(), 1u);
}

TEST_F(ZipExtractTest, ExistingFilesAreReplacedAndUnwritableOnesRaiseCreateError) {
  ASSERT_TRUE(ForceDirectories(out + u"busy.txt"));
  test::WriteFileBytes(out + u"old.txt", "a much longer old content");
  test::WriteFileBytes(out + u"locked.txt", "kept");
  Open(TZipBuilder().Stored("old.txt", "new").Stored("busy.txt", "x").Stored("locked.txt", "x"));
  zip.Extract(0, out, true);
  EXPECT_EQ(test::ReadFileBytes(out + u"old.txt"), "new");
  EXPECT_THROW(zip.Extract(1, out, true), EFCreateError);
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    return point == TFaultPoint::Create && path.ends_with(u"locked.txt");
  });
  try {
    zip.Extract(2, out, true);
    ADD_FAILURE() << "no exception";
  } catch (const EFCreateError& error) {
    EXPECT_TRUE(
        error.Message().starts_with(u"ファイル \"" + out + u"locked.txt\" を作成できません。"));
  }
  SetFaultHook(nullptr);
  EXPECT_EQ(test::ReadFileBytes(out + u"locked.txt"), "kept");
}

#ifdef _WIN32
TEST_F(ZipExtractTest, AFileHeldOpenWithoutSharingCannotBeReplaced) {
  test::WriteFileBytes(dir / u"held.txt", "held");
  Open(TZipBuilder().Stored("held.txt", "new"));
  TFileStream held(dir / u"held.txt", kOpenReadExclusive);
  EXPECT_THROW(zip.Extract(0, dir.Path(), true), EFCreateError);
}
#endif

TEST_F(ZipExtractTest, FolderPathsAreCheckedBeforeAnythingIsCreated) {
  Open(TZipBuilder().Stored("sub/a.txt", "a"));
  EXPECT_THROW(zip.Extract(0, dir / u"bad|folder\\", true), EArgumentException);
  EXPECT_THROW(zip.Extract(0, out + std::u16string(260, u'x') + u"\\", true),
               EPathTooLongException);
  EXPECT_THROW(zip.Extract(0, out + u"a:b\\", true), ENotSupportedException);
  EXPECT_FALSE(DirectoryExists(out));
}

// The two halves of Extract that the installation drives itself: where an entry goes, in the one
// spelling of its name, and writing it to a stream of the caller's choosing.
TEST_F(ZipExtractTest, PrepareOutputNamesExtractsPathsAndExtractToWritesThere) {
  Open(TZipBuilder().Stored("./doc//.", "").Stored("a//./b.txt", "b").Stored("../x", "x"));
  const TZipFile::TOutput folder = zip.PrepareOutput(0, out, true);
  EXPECT_EQ(folder.FilePath, out + u"doc\\");
  EXPECT_TRUE(folder.IsFolder);
  const TZipFile::TOutput file = zip.PrepareOutput(1, out, true);
  EXPECT_EQ(file.FilePath, out + u"a\\b.txt");
  EXPECT_EQ(file.Folder, ExpandFileName(out + u"a"));
  EXPECT_FALSE(file.IsFolder);
  EXPECT_THROW(zip.PrepareOutput(2, out, true), EZipException);
  EXPECT_FALSE(DirectoryExists(out));
  TMemoryStream elsewhere;
  zip.ExtractTo(1, elsewhere);
  EXPECT_EQ(elsewhere.Data(), std::vector<unsigned char>{'b'});
  EXPECT_FALSE(DirectoryExists(out));
}

}  // namespace
}  // namespace zelkupd
