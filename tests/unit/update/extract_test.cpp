#include "update/extract.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/sample_install.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "support/zip_builder.h"
#include "update/install_journal.h"

namespace zelkupd {
namespace {

using test::TZipBuilder;

class ExtractArchiveTest : public ::testing::Test {
 protected:
  // A console is written at once, so each line can be checked as it comes.
  ExtractArchiveTest() { fake.OutputType = kFileTypeChar; }
  ~ExtractArchiveTest() override { SetFaultHook(nullptr); }

  bool Extract(const TZipBuilder& builder) {
    test::WriteFileBytes(archive, builder.Build());
    return ExtractArchive(ctx, archive, dest);
  }
  std::u16string Out() const { return test::DecodedStdOut(fake); }
  std::u16string FailureLine() const { return archive + u" の展開に失敗しました.\r\n"; }
  bool BackupLeft() const { return DirectoryExists(BackupFolderPath(dest)); }

  test::TTempDir dir;
  const std::u16string archive = dir / u"zelk32_156.zip";
  const std::u16string dest = dir / u"install\\";
  test::FakePlatform fake;
  TRunContext ctx{fake};
};

TFileTime Expected(const TSystemTime& local) {
  TFileTime calendar;
  TFileTime utc;
  EXPECT_TRUE(CalendarToFileTime(local, calendar));
  EXPECT_TRUE(LocalFileTimeToFileTime(calendar, utc));
  return utc;
}

TEST_F(ExtractArchiveTest, AnEmptyArchiveSucceedsSilently) {
  EXPECT_TRUE(Extract(TZipBuilder()));
  EXPECT_EQ(Out(), u"");
  EXPECT_TRUE(ListDirectory(dest).empty());
}

TEST_F(ExtractArchiveTest, FilesAndFoldersGetTheEntryTimeAsLocalTime) {
  const std::uint32_t stamp = test::DosDateTime(2021, 7, 15, 13, 45, 58);
  TZipBuilder builder;
  builder.Add({.Name = "doc/readme.txt", .Data = "read me", .DosTime = stamp});
  builder.Add({.Name = "doc/", .DosTime = stamp});
  ASSERT_TRUE(Extract(builder));
  EXPECT_EQ(Out(), u"");
  const TFileTime expected = Expected({2021, 7, 0, 15, 13, 45, 58, 0});
  for (const std::u16string& path : {dest + u"doc\\readme.txt", dest + u"doc"}) {
    TFileTimes times;
    ASSERT_TRUE(GetFileTimes(path, times));
    EXPECT_EQ(times.LastWrite, expected);
#ifdef _WIN32
    EXPECT_EQ(times.Creation, expected);
#endif
  }
}

#ifndef _WIN32
// Nine hours east of UTC for the life of a scope, so a missing or reversed bias shows.
class TJapanTimeScope {
 public:
  TJapanTimeScope() : FHadZone(std::getenv("TZ") != nullptr) {
    if (FHadZone) {
      FSaved = std::getenv("TZ");
    }
    setenv("TZ", "JST-9", 1);
    tzset();
  }
  ~TJapanTimeScope() {
    if (FHadZone) {
      setenv("TZ", FSaved.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool FHadZone;
  std::string FSaved;
};

TEST_F(ExtractArchiveTest, TheTimeZoneInForceConvertsTheLocalTime) {
  const TJapanTimeScope japan;
  ASSERT_TRUE(
      Extract(TZipBuilder().Add({.Name = "a", .DosTime = test::DosDateTime(2020, 1, 2, 9, 0, 0)})));
  TFileTimes times;
  ASSERT_TRUE(GetFileTimes(dest + u"a", times));
  TFileTime midnightUtc;
  ASSERT_TRUE(CalendarToFileTime({2020, 1, 4, 2, 0, 0, 0, 0}, midnightUtc));
  EXPECT_EQ(times.LastWrite, midnightUtc);
}
#endif

std::vector<std::u16string> gStamped;

TEST_F(ExtractArchiveTest, TimesAreSetThroughTheNameAsStored) {
  gStamped.clear();
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    if (point == TFaultPoint::SetTimes) {
      gStamped.emplace_back(path);
    }
    return point == TFaultPoint::SetTimes;
  });
  EXPECT_TRUE(Extract(TZipBuilder().Stored("doc/", "").Stored("doc/readme.txt", "x")));
  EXPECT_EQ(gStamped, (std::vector<std::u16string>{dest + u"doc/", dest + u"doc/readme.txt"}));
}

// The entry is still extracted before its date is read, but the whole attempt goes back.
TEST_F(ExtractArchiveTest, AnInvalidDateFailsTheAttemptAfterItsEntryAndUndoesIt) {
  TZipBuilder builder;
  builder.Stored("a.txt", "a").Add({.Name = "b.txt", .Data = "b", .DosTime = 0});
  builder.Stored("c.txt", "c");
  EXPECT_FALSE(Extract(builder));
  EXPECT_EQ(Out(), FailureLine());
  EXPECT_TRUE(ListDirectory(dest).empty());
}

// A damaged or hostile archive changes nothing, whichever entry is bad.
TEST_F(ExtractArchiveTest, AFailingArchiveLeavesTheInstallationAsItWas) {
  ASSERT_TRUE(CreateDir(dest));
  test::WriteFileBytes(dest + u"a.txt", "old a");
  const std::string data = test::NoiseBytes(5000);
  std::string flipped = test::RawDeflate(data);
  flipped[flipped.size() / 2] ^= 0x01;
  const test::TZipEntryPlan bad[] = {
      {.Name = "b.bin", .Data = data, .Method = 8, .Payload = flipped},
      {.Name = "../escape.txt", .Data = "x"},
      {.Name = "nul.txt", .Data = "x"},
      {.Name = "b.bin", .Data = data, .Flags = 1},
      {.Name = "sub/b.bin", .Data = "x", .Method = 12},
  };
  for (const test::TZipEntryPlan& entry : bad) {
    fake.StdOut.clear();
    EXPECT_FALSE(Extract(TZipBuilder().Stored("a.txt", "new a").Add(entry)));
    EXPECT_EQ(Out(), FailureLine());
    EXPECT_EQ(test::ReadFileBytes(dest + u"a.txt"), "old a");
    EXPECT_EQ(ListDirectory(dest).size(), 1u);
    EXPECT_FALSE(FileExists(dir / u"escape.txt"));
  }
}

TEST_F(ExtractArchiveTest, AFailureAtTheFirstAMiddleOrTheLastEntryLeavesEveryByteAndTime) {
  test::WriteOldInstallation(dest);
  const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
  for (const int corrupt : {0, 4, test::kReleaseEntries - 1}) {
    fake.StdOut.clear();
    EXPECT_FALSE(Extract(test::Release(corrupt))) << corrupt;
    EXPECT_EQ(Out(), FailureLine());
    EXPECT_EQ(test::SnapshotTree(dest, true), before) << "corrupt entry " << corrupt;
  }
}

// Neither is written over: extracting in place fails there too, and the attempt is undone.
TEST_F(ExtractArchiveTest, AFileWhereAFolderGoesOrAFolderWhereAFileGoesFailsTheAttempt) {
  test::WriteOldInstallation(dest);
  test::WriteFileBytes(dest + u"plugin", "a file where the archive has a folder");
  ASSERT_TRUE(CreateDir(dest + u"notes.txt"));
  const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
  const char* const blocked[] = {"plugin/a.dll", "notes.txt"};
  for (const char* name : blocked) {
    fake.StdOut.clear();
    EXPECT_FALSE(Extract(TZipBuilder().Stored("new.txt", "n").Stored(name, "x"))) << name;
    EXPECT_EQ(Out(), FailureLine()) << name;
    EXPECT_EQ(test::SnapshotTree(dest, true), before) << name;
    EXPECT_FALSE(BackupLeft()) << name;
  }
}

TEST_F(ExtractArchiveTest, FoldersAnAttemptAddedAreRemovedAgain) {
  test::WriteOldInstallation(dest);
  TZipBuilder builder;
  builder.Stored("new/deeper/", "").Stored("new/deeper/still/file.txt", "x");
  builder.Stored("doc/more/a.txt", "a").Add({.Name = "bad", .Data = "x", .CentralCrc = 1});
  EXPECT_FALSE(Extract(builder));
  EXPECT_FALSE(DirectoryExists(dest + u"new"));
  EXPECT_FALSE(DirectoryExists(dest + u"doc\\more"));
  EXPECT_TRUE(DirectoryExists(dest + u"doc"));
}

TEST_F(ExtractArchiveTest, ASuccessfulUpdateKeepsStampedTimesAndLeavesNoBackup) {
  test::WriteOldInstallation(dest);
  ASSERT_TRUE(Extract(test::Release()));
  EXPECT_EQ(Out(), u"");
  EXPECT_FALSE(BackupLeft());
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "new exe");
  EXPECT_EQ(test::ReadFileBytes(dest + u"doc\\manual.txt"), "new manual");
  EXPECT_EQ(test::ReadFileBytes(dest + u"keep.ini"), "the user's own settings");
  EXPECT_EQ(test::ReadFileBytes(dest + u"lib\\x\\y.dat"), "y");
  EXPECT_TRUE(DirectoryExists(dest + u"plugins"));
  // doc's stamp came before its manual was replaced: replacing in place would not have moved it.
  TFileTimes times;
  ASSERT_TRUE(GetFileTimes(dest + u"doc", times));
  EXPECT_EQ(times.LastWrite, Expected({2022, 2, 0, 3, 4, 5, 6, 0}));
  ASSERT_TRUE(GetFileTimes(dest + u"NEW.TXT", times));
  EXPECT_EQ(times.LastWrite, Expected({2022, 2, 0, 3, 4, 5, 8, 0}));
  ASSERT_TRUE(GetFileTimes(dest + u"keep.ini", times));
  EXPECT_EQ(times.LastWrite, test::OldInstallationTime());
}

TEST_F(ExtractArchiveTest, AFolderWhoseFilesWereOnlyReplacedKeepsItsTime) {
  test::WriteOldInstallation(dest);
  ASSERT_TRUE(Extract(TZipBuilder().Stored("ZELK.EXE", "new").Stored("doc/manual.txt", "new")));
  for (const std::u16string& folder : {dest + u"doc", ExcludeTrailingBackslash(dest)}) {
    TFileTimes times;
    ASSERT_TRUE(GetFileTimes(folder, times));
    EXPECT_EQ(times.LastWrite, test::OldInstallationTime()) << Utf16ToUtf8(folder);
  }
}

TEST_F(ExtractArchiveTest, EntriesInsideTheBackupFolderAreRefusedBeforeAnythingChanges) {
  test::WriteOldInstallation(dest);
  const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
  for (const char* name : {"zelkupd.bak/JOURNAL", "ZELKUPD.BAK/", "Zelkupd.Bak"}) {
    fake.StdOut.clear();
    EXPECT_FALSE(Extract(TZipBuilder().Stored("ZELK.EXE", "new").Stored(name, ""))) << name;
    EXPECT_EQ(Out(), FailureLine());
    EXPECT_EQ(test::SnapshotTree(dest, true), before) << name;
  }
  EXPECT_TRUE(Extract(TZipBuilder().Stored("ZELKUPD.BAK.txt", "a near name is fine")));
}

TEST_F(ExtractArchiveTest, AFailedAttemptIsRepeatedFromTheStart) {
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    return point == TFaultPoint::Create && path.ends_with(u"b.txt");
  });
  TZipBuilder builder;
  builder.Stored("a.txt", "a").Stored("b.txt", "b");
  EXPECT_FALSE(Extract(builder));
  EXPECT_EQ(Out(), FailureLine());
  EXPECT_FALSE(FileExists(dest + u"a.txt"));
  SetFaultHook(nullptr);
  EXPECT_TRUE(ExtractArchive(ctx, archive, dest));
  EXPECT_EQ(test::ReadFileBytes(dest + u"b.txt"), "b");
  EXPECT_FALSE(ExtractArchive(ctx, dir / u"missing.zip", dest));
}

std::vector<TFaultPoint> gChanges;

// The trial open stands in for a file held by a running program, which cannot be overwritten.
TEST_F(ExtractArchiveTest, AFileThatCannotBeOverwrittenFailsTheAttemptBeforeAnythingChanges) {
  test::WriteOldInstallation(dest);
  const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
  test::WriteFileBytes(archive, test::Release().Build());
  gChanges.clear();
  // Opens and reads are not changes, and the files before readme.txt are tried as it is.
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    if (point != TFaultPoint::Create && point != TFaultPoint::Open && point != TFaultPoint::Read) {
      gChanges.push_back(point);
    }
    return point == TFaultPoint::Create && path.ends_with(u"readme.txt");
  });
  EXPECT_FALSE(ExtractArchive(ctx, archive, dest));
  EXPECT_EQ(Out(), FailureLine());
  EXPECT_TRUE(gChanges.empty());
  EXPECT_EQ(test::SnapshotTree(dest, true), before);
}

// Stands in for a virus scanner or an indexer holding the old files just put aside.
bool BackupsInUse(TFaultPoint point, std::u16string_view path) {
  return point == TFaultPoint::Delete && path.find(u"ZELKUPD.BAK\\") != std::u16string_view::npos &&
         !path.ends_with(u"JOURNAL");
}

TEST_F(ExtractArchiveTest, BackupsStillInUseAreRemovedByALaterRun) {
  test::WriteOldInstallation(dest);
  SetFaultHook(&BackupsInUse);
  ASSERT_TRUE(Extract(test::Release()));
  EXPECT_TRUE(BackupLeft());
  // A second update carries the leftovers on and numbers its own backups after them.
  ASSERT_TRUE(Extract(TZipBuilder().Stored("ZELK.EXE", "newer exe")));
  EXPECT_EQ(ListDirectory(BackupFolderPath(dest)).size(), 5u);
  SetFaultHook(nullptr);
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"");
  EXPECT_FALSE(BackupLeft());
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "newer exe");
  EXPECT_EQ(test::ReadFileBytes(dest + u"readme.txt"), "new readme");
}

TEST_F(ExtractArchiveTest, AnUndoThatCannotFinishIsFinishedAtTheNextStart) {
  test::WriteOldInstallation(dest);
  const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    return point == TFaultPoint::Delete && path.ends_with(u"a.dll");
  });
  EXPECT_FALSE(Extract(test::Release(test::kReleaseEntries - 1)));
  EXPECT_TRUE(FileExists(dest + u"plugins\\a.dll"));
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "old exe");
  SetFaultHook(nullptr);
  fake.StdOut.clear();
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"前回中断したアップデートを元に戻しました.\r\n");
  EXPECT_EQ(test::SnapshotTree(dest, true), before);
  fake.StdOut.clear();
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"");
}

TEST_F(ExtractArchiveTest, ARestoreThatCannotBeDoneNowIsReported) {
  test::WriteOldInstallation(dest);
  SetFaultHook(
      [](TFaultPoint point, std::u16string_view) { return point == TFaultPoint::Replace; });
  EXPECT_FALSE(Extract(test::Release(test::kReleaseEntries - 1)));
  fake.StdOut.clear();
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"前回中断したアップデートを元に戻せませんでした.\r\n");
  SetFaultHook([](TFaultPoint point, std::u16string_view) { return point == TFaultPoint::Open; });
  fake.StdOut.clear();
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"前回中断したアップデートを元に戻せませんでした.\r\n");
  SetFaultHook(nullptr);
  fake.StdOut.clear();
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"前回中断したアップデートを元に戻しました.\r\n");
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "old exe");
  EXPECT_FALSE(BackupLeft());
}

#ifdef _WIN32
TEST_F(ExtractArchiveTest, AFileHeldOpenByAnotherProgramFailsTheAttemptAndChangesNothing) {
  test::WriteOldInstallation(dest);
  const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
  {
    TFileStream held(dest + u"readme.txt", kOpenReadExclusive);
    EXPECT_FALSE(Extract(test::Release()));
    EXPECT_EQ(Out(), FailureLine());
  }
  EXPECT_EQ(test::SnapshotTree(dest, true), before);
  EXPECT_FALSE(BackupLeft());
}

TEST_F(ExtractArchiveTest, AReplacedFileKeepsTheCaseOfItsName) {
  ASSERT_TRUE(CreateDir(dest));
  test::WriteFileBytes(dest + u"Zelk.exe", "old");
  ASSERT_TRUE(Extract(TZipBuilder().Stored("ZELK.EXE", "new")));
  const std::vector<TDirEntry> entries = ListDirectory(dest);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, u"Zelk.exe");
  EXPECT_EQ(test::ReadFileBytes(dest + u"Zelk.exe"), "new");
}
#endif

TEST(LocalToUtcFileTimeTest, AnUnconvertibleTimeGivesZero) {
#ifndef _WIN32
  const TJapanTimeScope japan;
#endif
  EXPECT_EQ(LocalToUtcFileTime({2020, 13, 0, 1, 0, 0, 0, 0}), TFileTime{});
  EXPECT_EQ(LocalToUtcFileTime({2020, 1, 3, 1, 0, 0, 0, 0}), Expected({2020, 1, 3, 1, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace zelkupd
