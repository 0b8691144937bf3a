#include "update/extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "install/install_names.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/power_cut.h"
#include "support/sample_install.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "support/zip_builder.h"

#ifdef _WIN32
#include <windows.h>
#endif

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
  // With nothing in its way any more, the next start finishes the update.
  void ExpectTheNextStartCompletes() {
    SetFaultHook(nullptr);
    fake.StdOut.clear();
    RecoverInstallation(ctx, dest);
    EXPECT_EQ(Out(), u"前回中断したアップデートを完了しました.\r\n");
    EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "new exe");
  }
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

// Through the path the plan knows each target by, whatever the entry's spelling: on a folder that
// tells letter cases apart, "DOC/README.TXT" could otherwise reach a file of its own. A new file
// is stamped as it is staged; a replaced one again once it has taken its name.
TEST_F(ExtractArchiveTest, TimesAreSetThroughThePathOfTheTarget) {
  ASSERT_TRUE(ForceDirectories(dest + u"doc"));
  test::WriteFileBytes(dest + u"doc\\readme.txt", "old");
  gStamped.clear();
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    const bool stamp =
        point == TFaultPoint::SetTimes && path.find(kBackupFolderName) == std::u16string_view::npos;
    if (stamp) {
      gStamped.emplace_back(path);
    }
    return false;
  });
  TZipBuilder builder;
  builder.Stored("doc/", "").Stored("doc/readme.txt", "x").Stored("DOC//README.TXT", "y");
  EXPECT_TRUE(Extract(builder));
  const std::u16string readme = dest + u"doc\\readme.txt";
  EXPECT_EQ(gStamped, (std::vector<std::u16string>{dest + u"doc", readme, dest + u"doc",
                                                   ExcludeTrailingBackslash(dest)}))
      << "the folder entry, the replaced file, and the folders' times after the commit";
}

// Every date is read before anything is written: not even the installation folder is made.
TEST_F(ExtractArchiveTest, AnInvalidDateFailsTheAttemptBeforeAnythingIsWritten) {
  TZipBuilder builder;
  builder.Stored("a.txt", "a").Add({.Name = "b.txt", .Data = "b", .DosTime = 0});
  builder.Stored("c.txt", "c");
  EXPECT_FALSE(Extract(builder));
  EXPECT_EQ(Out(), FailureLine());
  EXPECT_FALSE(DirectoryExists(dest));
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

// The attempt meets one failing file operation, any one of them. It fails and leaves the
// installation as it was, every byte and time, or it installs, every file then created and
// written at its entry's time or, where the release leaves it alone, at its old time: on Windows
// a file put at a name that another left moments before takes that one's creation time, so only
// a stamp makes it so. What the failure kept the attempt from removing, the next start removes.
int gFailAt = 0;
int gSeen = 0;
bool FailAt(TFaultPoint, std::u16string_view) {
  return ++gSeen == gFailAt;
}

TEST_F(ExtractArchiveTest, AFailureAtAnyStepLeavesEveryByteAndTimeOrInstalls) {
  test::WriteFileBytes(archive, test::Release().Build());
  gFailAt = 0;
  gSeen = 0;
  test::WriteOldInstallation(dest);
  const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
  const test::TTreeSnapshot beforeFiles = test::SnapshotTree(dest, false);
  SetFaultHook(&FailAt);
  ASSERT_TRUE(ExtractArchive(ctx, archive, dest));
  SetFaultHook(nullptr);
  const int operations = gSeen;
  const test::TTreeSnapshot after = test::SnapshotTree(dest, false);
  int failed = 0;
  for (gFailAt = 1; gFailAt <= operations; ++gFailAt) {
    test::RemoveTree(dest);
    test::WriteOldInstallation(dest);
    gSeen = 0;
    SetFaultHook(&FailAt);
    const bool installed = ExtractArchive(ctx, archive, dest);
    SetFaultHook(nullptr);
    if (!installed && !BackupLeft()) {
      EXPECT_EQ(test::SnapshotTree(dest, true), before) << "failed at " << gFailAt;
      ++failed;
      continue;
    }
    // What could not go, the next start removes.
    RecoverInstallation(ctx, dest);
    EXPECT_FALSE(BackupLeft()) << "failed at " << gFailAt;
    const test::TTreeSnapshot settled = test::SnapshotTree(dest, false);
    EXPECT_EQ(settled, installed ? after : beforeFiles) << "failed at " << gFailAt;
#ifdef _WIN32
    for (const auto& [path, entry] : settled) {
      EXPECT_TRUE(entry.IsDirectory || entry.Creation == entry.LastWrite)
          << Utf16ToUtf8(path) << " after a failure at " << gFailAt;
    }
#endif
  }
  EXPECT_GT(failed, operations / 2);
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
    return point == TFaultPoint::Rename && path.ends_with(u"b.txt");
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

// An entry may reach an installed file through another spelling of its path. The plan knows each
// target by one key, so the entry replaces that file as any entry would, a failing attempt puts it
// back, and two entries that reach one file or folder write one.
TEST_F(ExtractArchiveTest, EverySpellingOfAPathIsThatPath) {
  const test::TZipEntryPlan respelt{.Name = "a//b.txt", .Data = "the release's b"};
  const test::TZipEntryPlan unsupported{.Name = "z.bin", .Data = "z", .Method = 12};
  for (const bool respeltFirst : {true, false}) {
    test::RemoveTree(dest);
    ASSERT_TRUE(ForceDirectories(dest + u"a"));
    test::WriteFileBytes(dest + u"a\\b.txt", "the user's data");
    test::WriteFileBytes(dest + u"a\\keep.txt", "kept");
    const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
    fake.StdOut.clear();
    EXPECT_FALSE(Extract(respeltFirst ? TZipBuilder().Add(respelt).Add(unsupported)
                                      : TZipBuilder().Add(unsupported).Add(respelt)));
    EXPECT_EQ(Out(), FailureLine());
    EXPECT_EQ(test::SnapshotTree(dest, true), before) << respeltFirst;
    EXPECT_FALSE(BackupLeft()) << respeltFirst;
  }
  TZipBuilder twice;
  twice.Stored("./New/c.txt", "first").Stored("new//C.TXT", "second").Stored("a/./b.txt", "b");
  ASSERT_TRUE(Extract(twice));
  EXPECT_EQ(test::SnapshotTree(dest, false).size(), 5u)
      << "a, a\\b.txt, a\\keep.txt, New, New\\c.txt";
  EXPECT_EQ(test::ReadFileBytes(dest + u"New\\c.txt"), "second");
  EXPECT_EQ(test::ReadFileBytes(dest + u"a\\b.txt"), "b");
  EXPECT_FALSE(BackupLeft());
}

#ifndef _WIN32
// "tar -a -cf release.zip ." (the tar of Windows 10 and later, bsdtar elsewhere) names every entry
// "./name", the folder itself "./".
TEST_F(ExtractArchiveTest, AReleasePackedFromItsFolderInstalls) {
  test::TTempDir packed;
  ASSERT_TRUE(CreateDir(packed / u"doc"));
  test::WriteFileBytes(packed / u"ZELK.EXE", "new exe");
  test::WriteFileBytes(packed / u"doc\\manual.txt", "new manual");
  const auto native = [](std::u16string path) {
    std::replace(path.begin(), path.end(), u'\\', u'/');
    return Utf16ToUtf8(path);
  };
  const std::string pack =
      "cd '" + native(packed.Path()) + "' && bsdtar --format zip -cf '" + native(archive) + "' .";
  ASSERT_EQ(std::system(pack.c_str()), 0) << pack;
  test::WriteOldInstallation(dest);
  ASSERT_TRUE(ExtractArchive(ctx, archive, dest));
  EXPECT_EQ(Out(), u"");
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "new exe");
  EXPECT_EQ(test::ReadFileBytes(dest + u"doc\\manual.txt"), "new manual");
  EXPECT_EQ(test::ReadFileBytes(dest + u"keep.ini"), "the user's own settings");
  EXPECT_FALSE(BackupLeft());
}
#endif

// A second zelkupd started while an attempt is under way, in the midst of its renames: the
// journal it finds is held, so its start says nothing and its own attempt fails as on a file in
// use, touching nothing; the first attempt goes on undisturbed.
struct TSecondRun {
  std::u16string Dest;
  std::u16string Archive;
  test::TTreeSnapshot Before{};
  test::TTreeSnapshot After{};
  std::u16string Recovered{};
  std::u16string Attempted{};
  bool Extracted = true;
};
TSecondRun gSecond;

bool StartSecondRun(TFaultPoint point, std::u16string_view path) {
  if (point != TFaultPoint::Rename || !path.ends_with(u"readme.txt")) {
    return false;
  }
  SetFaultHook(nullptr);
  gSecond.Before = test::SnapshotTree(gSecond.Dest, true);
  test::FakePlatform fake;
  fake.OutputType = kFileTypeChar;
  TRunContext ctx(fake);
  RecoverInstallation(ctx, gSecond.Dest);
  gSecond.Recovered = test::DecodedStdOut(fake);
  fake.StdOut.clear();
  gSecond.Extracted = ExtractArchive(ctx, gSecond.Archive, gSecond.Dest);
  gSecond.Attempted = test::DecodedStdOut(fake);
  gSecond.After = test::SnapshotTree(gSecond.Dest, true);
  return false;
}

TEST_F(ExtractArchiveTest, ASecondRunLeavesAnAttemptUnderWayAlone) {
  test::WriteOldInstallation(dest);
  gSecond = {.Dest = dest, .Archive = dir / u"second.zip"};
  test::WriteFileBytes(gSecond.Archive, test::Release().Build());
  SetFaultHook(&StartSecondRun);
  ASSERT_TRUE(Extract(test::Release()));
  EXPECT_EQ(gSecond.Recovered, u"");
  EXPECT_FALSE(gSecond.Extracted);
  EXPECT_EQ(gSecond.Attempted, gSecond.Archive + u" の展開に失敗しました.\r\n");
  EXPECT_FALSE(gSecond.Before.empty());
  EXPECT_EQ(gSecond.After, gSecond.Before);
  EXPECT_EQ(test::ReadFileBytes(dest + u"readme.txt"), "new readme");
  EXPECT_FALSE(BackupLeft());
}

std::vector<TFaultPoint> gChanges;
std::u16string gInstallation;

// The trial open stands in for a file held by a running program, which cannot be overwritten.
// Opens and reads change nothing, and what is staged is written in the install's own folder: no
// other path changes, bar the installation folder's times that the install's folder moved and
// that the attempt gives back.
TEST_F(ExtractArchiveTest, AFileThatCannotBeOverwrittenFailsTheAttemptBeforeAnythingChanges) {
  test::WriteOldInstallation(dest);
  const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
  test::WriteFileBytes(archive, test::Release().Build());
  gChanges.clear();
  gInstallation = ExcludeTrailingBackslash(dest);
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    const bool own = path.find(kBackupFolderName) != std::u16string_view::npos ||
                     (point == TFaultPoint::SetTimes && path == gInstallation);
    if (point != TFaultPoint::Create && point != TFaultPoint::Open && point != TFaultPoint::Read &&
        !own) {
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
  // A second update numbers its own files after the leftovers, which need no journal: they are
  // only to remove.
  ASSERT_TRUE(Extract(TZipBuilder().Stored("ZELK.EXE", "newer exe")));
  std::vector<std::u16string> left;
  for (const TDirEntry& entry : ListDirectory(BackupFolderPath(dest))) {
    left.push_back(entry.Name);
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::u16string>{u"1.DEL", u"2.DEL", u"5.DEL", u"6.DEL"}))
      << "only the old files, to remove";
  SetFaultHook(nullptr);
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"");
  EXPECT_FALSE(BackupLeft());
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "newer exe");
  EXPECT_EQ(test::ReadFileBytes(dest + u"readme.txt"), "new readme");
}

// The attempt fails while its files take their places, and one of those already placed cannot be
// taken back now. The journal stays, and the next start, which can place everything, finishes
// the attempt: every staged file was on the disk before the first one moved.
int gPluginRenames = 0;

TEST_F(ExtractArchiveTest, AnAttemptWhoseUndoStoppedShortIsFinishedAtTheNextStart) {
  test::WriteOldInstallation(dest);
  gPluginRenames = 0;
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    const bool plugin = point == TFaultPoint::Rename && path.ends_with(u"a.dll");
    return (plugin && ++gPluginRenames > 1) ||
           (point == TFaultPoint::Rename && path.ends_with(u"readme.txt"));
  });
  EXPECT_FALSE(Extract(test::Release()));
  EXPECT_TRUE(FileExists(dest + u"plugins\\a.dll"));
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "old exe");
  ExpectTheNextStartCompletes();
  EXPECT_EQ(test::ReadFileBytes(dest + u"readme.txt"), "new readme");
  EXPECT_FALSE(BackupLeft());
  fake.StdOut.clear();
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"");
}

std::vector<std::pair<TFaultPoint, std::u16string>> gTouched;

// Two entries reach x, and the last is the very file installed there: x is not written, moved or
// put aside, only stamped, and an attempt that fails afterwards gives it its old times back.
TEST_F(ExtractArchiveTest, AFileTheReleaseLeavesAsItIsIsOnlyStamped) {
  ASSERT_TRUE(Extract(TZipBuilder().Stored("x", "same")));
  const test::TTreeSnapshot before = test::SnapshotTree(dest, false);
  gTouched.clear();
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    if (path.ends_with(u"\\x") && point != TFaultPoint::Read) {
      gTouched.emplace_back(point, path);
    }
    return point == TFaultPoint::Rename && path.ends_with(u"\\y");
  });
  TZipBuilder builder;
  builder.Stored("x", "other").Add({.Name = "./x", .Data = "same", .DosTime = 0x54321234});
  builder.Stored("y", "y");
  EXPECT_FALSE(Extract(builder));
  SetFaultHook(nullptr);
  EXPECT_EQ(test::SnapshotTree(dest, false), before);
  ASSERT_TRUE(Extract(builder));
  TFileTimes times;
  ASSERT_TRUE(GetFileTimes(dest + u"x", times));
  EXPECT_EQ(times.LastWrite, LocalToUtcFileTime(DosDateTimeToSystemTime(0x54321234)));
  const std::vector<TFaultPoint> points = {TFaultPoint::Create, TFaultPoint::SetTimes,
                                           TFaultPoint::SetTimes};
  ASSERT_EQ(gTouched.size(), points.size()) << "the trial open, the stamp and its undo";
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_EQ(gTouched[i].first, points[i]) << i;
  }
}

// A new file's data and the journal are on the disk before anything rests on them: a flush of
// either that fails fails the attempt before anything has changed.
TEST_F(ExtractArchiveTest, AFailedFlushOfANewFileOrOfTheJournalChangesNothing) {
  for (const TFaultHook hook : {+[](TFaultPoint point, std::u16string_view path) {
                                  return point == TFaultPoint::Flush && path.ends_with(u".NEW");
                                },
                                +[](TFaultPoint point, std::u16string_view path) {
                                  return point == TFaultPoint::Flush &&
                                         path.ends_with(u"\\JOURNAL.zelkupd-tmp");
                                }}) {
    test::RemoveTree(dest);
    test::WriteOldInstallation(dest);
    const test::TTreeSnapshot before = test::SnapshotTree(dest, true);
    SetFaultHook(hook);
    EXPECT_FALSE(Extract(test::Release()));
    SetFaultHook(nullptr);
    EXPECT_EQ(test::SnapshotTree(dest, true), before);
    EXPECT_FALSE(BackupLeft());
  }
}

// An earlier version's journal names no identities, and its undo could leave one naming the
// user's own file: what stands at its paths may be the user's and stays. Only a path left empty
// gets its old file back.
TEST_F(ExtractArchiveTest, AJournalOfAnEarlierVersionTakesNothingThatStandsThere) {
  ASSERT_TRUE(ForceDirectories(BackupFolderPath(dest)));
  ASSERT_TRUE(ForceDirectories(dest + u"a"));
  test::WriteFileBytes(dest + u"a\\b.txt", "the user's own");
  test::WriteFileBytes(dest + u"ZELK.EXE", "new exe");
  test::WriteFileBytes(LegacyBackupPath(dest, 1), "old exe");
  test::WriteFileBytes(LegacyBackupPath(dest, 2), "old readme");
  test::WriteFileBytes(JournalPath(dest),
                       "ZELKUPD JOURNAL 1\nfolder\ta\nfile\ta\\b.txt\nbackup\t1\t1\t2\tZELK.EXE\n"
                       "backup\t2\t1\t2\treadme.txt\n");
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"前回中断したアップデートを元に戻しました.\r\n");
  EXPECT_EQ(test::ReadFileBytes(dest + u"a\\b.txt"), "the user's own");
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "new exe");
  EXPECT_EQ(test::ReadFileBytes(dest + u"readme.txt"), "old readme");
  EXPECT_FALSE(BackupLeft());
}

std::u16string gSettledElsewhere;

// Another run settles what it found and removes the install's folder between this start's look
// and its taking the lock.
TEST_F(ExtractArchiveTest, AnInstallFolderGoneBeforeItIsLockedWasNothingInterrupted) {
  ASSERT_TRUE(ForceDirectories(BackupFolderPath(dest)));
  gSettledElsewhere = BackupFolderPath(dest);
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    if (point != TFaultPoint::Create || !path.ends_with(u"LOCK")) {
      return false;
    }
    SetFaultHook(nullptr);
    RemoveDir(gSettledElsewhere);
    return false;
  });
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"");
  EXPECT_FALSE(BackupLeft());
}

// readme.txt cannot take its place, and ZELK.EXE, already placed, cannot leave it: the attempt
// can be neither finished nor undone now. Each start says so, naming the file that stops it, and
// every attempt fails before it changes anything, until the files can be moved again.
TEST_F(ExtractArchiveTest, AnAttemptThatCanBeNeitherFinishedNorUndoneIsReported) {
  test::WriteOldInstallation(dest);
  gPluginRenames = 0;
  const auto stuck = [](TFaultPoint point, std::u16string_view path) {
    const bool exe = point == TFaultPoint::Rename && path.ends_with(u"ZELK.EXE");
    return (exe && ++gPluginRenames > 2) ||
           (point == TFaultPoint::Rename && path.ends_with(u"readme.txt"));
  };
  SetFaultHook(stuck);
  EXPECT_FALSE(Extract(test::Release()));
  fake.StdOut.clear();
  RecoverInstallation(ctx, dest);
  const test::TTreeSnapshot held = test::SnapshotTree(dest, false);
  const std::u16string said = Out();
  EXPECT_TRUE(said.starts_with(u"前回中断したアップデートを元に戻せませんでした.\r\n　→ " + dest +
                               u"readme.txt : "))
      << Utf16ToUtf8(said);
  EXPECT_FALSE(Extract(TZipBuilder().Stored("ZELK.EXE", "newer exe")));
  EXPECT_EQ(test::SnapshotTree(dest, false), held);
  ExpectTheNextStartCompletes();
  EXPECT_EQ(test::ReadFileBytes(dest + u"readme.txt"), "new readme");
  EXPECT_FALSE(BackupLeft());
}

// A power cut leaves the journal at its name before anything is placed; at the next start a
// scanner holds the staged ZELK.EXE, so the old one, just put aside, cannot be replaced. It goes
// back to its path at once: a path is never left empty for some later start to fill, and the
// updater's own file above all must stand to make that start.
TEST_F(ExtractArchiveTest, AStagedFileThatCannotTakeItsPlaceAfterACutLeavesTheOldOneStanding) {
  test::WriteFileBytes(archive, test::Release().Build());
  for (int lostAt = 1;; ++lostAt) {
    test::RemoveTree(dest);
    test::WriteOldInstallation(dest);
    {
      const test::TPowerCut power(lostAt);
      ExtractArchive(ctx, archive, dest);
    }
    if (FileExists(JournalPath(dest))) {
      break;
    }
  }
  ASSERT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "old exe");
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    return point == TFaultPoint::Rename && path.ends_with(u".NEW");
  });
  fake.StdOut.clear();
  RecoverInstallation(ctx, dest);
  EXPECT_TRUE(Out().starts_with(u"前回中断したアップデートを元に戻せませんでした.\r\n"))
      << Utf16ToUtf8(Out());
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "old exe");
  ExpectTheNextStartCompletes();
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

void MarkReadOnly(const std::u16string& path) {
  ASSERT_NE(::SetFileAttributesW(
                std::wstring(path.begin(), path.end()).c_str(),
                FILE_ATTRIBUTE_READONLY |
                    ::GetFileAttributesW(std::wstring(path.begin(), path.end()).c_str())),
            FALSE);
}

// After a crash the user marks everything read-only (attrib +r /s /d): the lock and the journal
// left behind, an old file put aside whose new one the user has changed since, a folder the
// attempt made. None of it keeps the interrupted attempt from being settled.
TEST_F(ExtractArchiveTest, ReadOnlyMarksKeepNothingStuck) {
  ASSERT_TRUE(ForceDirectories(BackupFolderPath(dest)));
  ASSERT_TRUE(CreateDir(dest + u"made"));
  test::WriteFileBytes(dest + u"ZELK.EXE", "the user's own build");
  test::WriteFileBytes(LegacyBackupPath(dest, 1), "old exe");
  test::WriteFileBytes(LockPath(dest), "");
  test::WriteFileBytes(JournalPath(dest),
                       "ZELKUPD JOURNAL 2\nfolder\tmade\nbackup\t1\t1\t2\t7\t3\tZELK.EXE\n");
  for (const std::u16string& path : {dest + u"made", LegacyBackupPath(dest, 1), LockPath(dest),
                                     JournalPath(dest), BackupFolderPath(dest)}) {
    MarkReadOnly(path);
  }
  RecoverInstallation(ctx, dest);
  EXPECT_EQ(Out(), u"前回中断したアップデートを元に戻しました.\r\n");
  EXPECT_FALSE(DirectoryExists(dest + u"made"));
  EXPECT_EQ(test::ReadFileBytes(dest + u"ZELK.EXE"), "the user's own build");
  EXPECT_FALSE(BackupLeft());
}

TEST_F(ExtractArchiveTest, AReplacedFileStaysHiddenAndSystem) {
  ASSERT_TRUE(CreateDir(dest));
  test::WriteFileBytes(dest + u"desktop.ini", "old");
  ASSERT_TRUE(AddHiddenAndSystem(dest + u"desktop.ini", true, true));
  ASSERT_TRUE(Extract(TZipBuilder().Stored("desktop.ini", "new").Stored("new.txt", "n")));
  TFoundFile found;
  ASSERT_TRUE(FindFile(dest + u"desktop.ini", found));
  EXPECT_TRUE(found.Hidden && found.System);
  EXPECT_EQ(test::ReadFileBytes(dest + u"desktop.ini"), "new");
  ASSERT_TRUE(FindFile(dest + u"new.txt", found));
  EXPECT_FALSE(found.Hidden || found.System);
}

// The short name Windows gives a long one, the last component of `path`, which must exist.
std::string ShortName(const std::u16string& path) {
  wchar_t shortPath[MAX_PATH];
  const std::wstring longPath(path.begin(), path.end());
  const DWORD length = ::GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH);
  EXPECT_TRUE(length > 0 && length < MAX_PATH) << ::GetLastError();
  return Utf16ToUtf8(ExtractFileName(std::u16string(shortPath, shortPath + length)));
}

// Each entry reaches the one file through a short name and through the long one: a plan that
// took them for two targets would have the second rename fail on the file the first one wrote.
TEST_F(ExtractArchiveTest, AShortNameIsTheFileOrFolderItAbbreviates) {
  ASSERT_TRUE(ForceDirectories(dest + u"Long folder name"));
  test::WriteFileBytes(dest + u"Long folder name\\Long file name.txt", "the user's data");
  const std::string folder = ShortName(dest + u"Long folder name");
  const std::string file = ShortName(dest + u"Long folder name\\Long file name.txt");
  ASSERT_NE(folder, "Long folder name");
  ASSERT_NE(file, "Long file name.txt");
  TZipBuilder release;
  release.Stored(folder + "/" + file, "first").Stored(folder + "/new.txt", "first");
  release.Stored("Long folder name/Long file name.txt", "second");
  release.Stored("long folder name/new.txt", "second");
  ASSERT_TRUE(Extract(release));
  EXPECT_EQ(Out(), u"");
  const std::vector<TDirEntry> entries = ListDirectory(dest);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, u"Long folder name");
  EXPECT_EQ(ListDirectory(dest + u"Long folder name").size(), 2u);
  EXPECT_EQ(test::ReadFileBytes(dest + u"Long folder name\\Long file name.txt"), "second");
  EXPECT_EQ(test::ReadFileBytes(dest + u"Long folder name\\new.txt"), "second");
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
