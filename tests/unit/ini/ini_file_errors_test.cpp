// The store's failure table: which error each failure raises, with which text, and that a failed
// rewrite leaves the old file byte for byte and no temporary file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "ini/mem_ini_file.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/replacement_file.h"
#include "runtime/stream.h"
#include "support/fault_scope.h"
#include "support/temp_dir.h"

namespace zelkupd {
namespace {

using test::ReadFileBytes;
using test::TFaultScope;
using test::TTempDir;

constexpr char kOld[] = "; hand-written\r\n[ZELK]\r\nPREV_FILE=old.zip\r\nDELETE=2\r\n";

// Refuses the first removal of one file only, as while a handle that is let go of moments later
// still holds it; any later removal of it succeeds.
std::u16string gHeldFile;
int gRemovalsOfHeldFile = 0;
bool RefuseFirstRemoval(TFaultPoint point, std::u16string_view path) {
  return point == TFaultPoint::Delete && path == gHeldFile && ++gRemovalsOfHeldFile == 1;
}

class IniFileErrorsTest : public ::testing::Test {
 protected:
  IniFileErrorsTest() { test::WriteFileBytes(path, kOld); }
  ~IniFileErrorsTest() override { SetFaultHook(nullptr); }

  // A store with a change to write.
  std::unique_ptr<TMemIniFile> ChangedStore() {
    auto ini = std::make_unique<TMemIniFile>(path);
    ini->WriteString(u"ZELK", u"PREV_FILE", u"new.zip");
    return ini;
  }

  // The create error that updating the store must raise.
  static EFCreateError UpdateMustFailToCreate(TMemIniFile& ini) {
    try {
      ini.UpdateFile();
    } catch (const EFCreateError& error) {
      return error;
    }
    ADD_FAILURE() << "UpdateFile raised no EFCreateError";
    return EFCreateError(u"");
  }
  EFCreateError UpdateMustFailToCreate() { return UpdateMustFailToCreate(*ChangedStore()); }

  // The old file whole and nothing else in the folder.
  void ExpectOldFileAlone() {
    EXPECT_EQ(ReadFileBytes(path), kOld);
    const std::vector<TDirEntry> entries = ListDirectory(ExcludeTrailingBackslash(dir.Path()));
    ASSERT_EQ(entries.size(), 1u) << "a temporary file was left behind";
    EXPECT_EQ(entries[0].Name, u"zelkupd.INI");
  }

  void ExpectCreateErrorNamingTheFile(const EFCreateError& error) {
    const std::u16string prefix = u"ファイル \"" + path + u"\" を作成できません。";
    EXPECT_STREQ(error.ClassName(), "EFCreateError");
    EXPECT_EQ(error.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(error.Message().size(), prefix.size()) << "the system text is missing";
  }

  TTempDir dir;
  std::u16string path = dir / u"zelkupd.INI";
};

TEST_F(IniFileErrorsTest, FailedWriteRaisesWriteErrorAndKeepsTheOldFile) {
  const std::unique_ptr<TMemIniFile> ini = ChangedStore();
  {
    const TFaultScope diskFull(TFaultPoint::Write, ReplacementFileName(path));
    try {
      ini->UpdateFile();
      FAIL() << "no exception";
    } catch (const EWriteError& error) {
      EXPECT_STREQ(error.ClassName(), "EWriteError");
      EXPECT_EQ(error.Message(), u"ストリームへの書き込みエラー");
    }
  }
  ExpectOldFileAlone();
  ini->UpdateFile();
  EXPECT_EQ(ReadFileBytes(path), "[ZELK]\r\nPREV_FILE=new.zip\r\nDELETE=2\r\n\r\n")
      << "the store is unchanged by the failure";
}

// The fault hook stands in for the file system's refusals, which permissions cannot show where the
// tests run as root: a read-only file or one held open refuses the file itself, a folder without
// write access refuses the temporary file, and the final move can fail on its own.
TEST_F(IniFileErrorsTest, EveryFailureToReplaceNamesTheSettingsFile) {
  for (const auto& [point, target] : {std::pair{TFaultPoint::Create, path},
                                      std::pair{TFaultPoint::Create, ReplacementFileName(path)},
                                      std::pair{TFaultPoint::Replace, path}}) {
    const TFaultScope denied(point, target);
    ExpectCreateErrorNamingTheFile(UpdateMustFailToCreate());
    ExpectOldFileAlone();
  }
}

// A user's own file under the name temporary files are often given, and the leftover of a rewrite
// that a crash cut short between writing its temporary file and moving it.
TEST_F(IniFileErrorsTest, ARewriteTouchesNoNameButItsOwnTemporaryOne) {
  const std::u16string users = path + u".tmp";
  const std::u16string leftover = ReplacementFileName(path);
  test::WriteFileBytes(users, "the user's own");
  test::WriteFileBytes(leftover, "[ZELK]\r\nPREV_FILE=cut");
  // Held when the rewrite starts, as by another run's rewrite: the rewrite fails and neither writes
  // over the leftover nor removes it, not even once the holder has let go.
  gHeldFile = leftover;
  gRemovalsOfHeldFile = 0;
  SetFaultHook(&RefuseFirstRemoval);
  ExpectCreateErrorNamingTheFile(UpdateMustFailToCreate());
  SetFaultHook(nullptr);
  EXPECT_EQ(ReadFileBytes(leftover), "[ZELK]\r\nPREV_FILE=cut");
  EXPECT_EQ(ReadFileBytes(path), kOld);
  ChangedStore()->UpdateFile();
  EXPECT_EQ(ReadFileBytes(path), "[ZELK]\r\nPREV_FILE=new.zip\r\nDELETE=2\r\n\r\n");
  EXPECT_EQ(ReadFileBytes(users), "the user's own");
  EXPECT_FALSE(FileExists(leftover));
  EXPECT_EQ(ListDirectory(ExcludeTrailingBackslash(dir.Path())).size(), 2u);
}

TEST_F(IniFileErrorsTest, FileThatCannotBeOpenedRaisesOpenErrorWithItsText) {
  const TFaultScope denied(TFaultPoint::Open, path);
  try {
    TMemIniFile ini(path);
    FAIL() << "no exception";
  } catch (const EFOpenError& error) {
    EXPECT_STREQ(error.ClassName(), "EFOpenError");
    const std::u16string prefix = u"ファイル " + path + u" は開けません。 ";
    EXPECT_EQ(error.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(error.Message().size(), prefix.size() + 1) << "the system text is missing";
    EXPECT_EQ(error.Message().back(), u' ');
  }
}

TEST_F(IniFileErrorsTest, FolderOrMissingFolderInTheWayRaisesCreateError) {
  const std::u16string folder = dir / u"sub.INI";
  ASSERT_TRUE(CreateDir(folder));
  TMemIniFile onFolder(folder);
  EXPECT_EQ(onFolder.ReadString(u"ZELK", u"PREV_FILE", u"-"), u"-") << "a folder is no file";
  onFolder.WriteString(u"ZELK", u"PREV_FILE", u"x");
  EXPECT_THROW(onFolder.UpdateFile(), EFCreateError);
  EXPECT_FALSE(FileExists(ReplacementFileName(folder)));

  TMemIniFile noFolder(dir / u"missing\\zelkupd.INI");
  noFolder.WriteString(u"ZELK", u"PREV_FILE", u"x");
  try {
    noFolder.UpdateFile();
    FAIL() << "no exception";
  } catch (const EFCreateError& error) {
    EXPECT_NE(error.Message().find(u"\"" + (dir / u"missing\\zelkupd.INI") + u"\""),
              std::u16string::npos);
  }
  TMemIniFile noName(u"");
  EXPECT_EQ(noName.ReadString(u"ZELK", u"PREV_FILE", u"-"), u"-");
  EXPECT_THROW(noName.UpdateFile(), EFCreateError);
}

#ifdef _WIN32
// Another handle without write sharing: as another process holding the file open.
TEST_F(IniFileErrorsTest, FileHeldOpenBlocksReadingAndReplacing) {
  for (const TFileMode* holding : {&kOpenReadExclusive, &kOpenReadShareRead}) {
    const std::unique_ptr<TMemIniFile> ini = ChangedStore();
    const TFileStream holder(path, *holding);
    ExpectCreateErrorNamingTheFile(UpdateMustFailToCreate(*ini));
    EXPECT_FALSE(FileExists(ReplacementFileName(path)));
  }
  ExpectOldFileAlone();
  for (const TFileMode* holding : {&kOpenReadExclusive, &kCreateWriteExclusive}) {
    const TFileStream holder(path, *holding);
    EXPECT_THROW(TMemIniFile ini(path), EFOpenError);
  }
}
#endif

}  // namespace
}  // namespace zelkupd
