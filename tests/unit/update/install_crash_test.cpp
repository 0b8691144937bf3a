// Power lost at every single step of an installation attempt: from a chosen file operation on,
// nothing more reaches the disk (the attempt's own undo cannot run either), and whatever was
// written but not yet forced to the disk is lost. The next start must find the old installation
// or the new one, never a mix, and no backup left; files the user changed meanwhile stay theirs.
#include <gtest/gtest.h>

#include "runtime/files.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/power_cut.h"
#include "support/sample_install.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "update/extract.h"
#include "update/install_journal.h"
#include "update/run.h"

namespace zelkupd {
namespace {

constexpr char16_t kRestoredLine[] = u"前回中断したアップデートを元に戻しました.\r\n";

class InstallCrashTest : public ::testing::Test {
 protected:
  // One attempt on a fresh copy of the old installation, the power lost at operation `lostAt`
  // (0: never). Returns how many file operations it asked for.
  int Attempt(const test::TTempDir& install, int lostAt) {
    test::WriteOldInstallation(install.Path());
    test::TPowerCut power(lostAt);
    test::FakePlatform fake;
    TRunContext ctx(fake);
    ExtractArchive(ctx, archive, install.Path());
    power.LoseUnflushed(install.Path());
    return power.Operations();
  }
  // The next start on the same folder; its console output.
  std::u16string Recover(const test::TTempDir& install) {
    test::FakePlatform fake;
    TRunContext ctx(fake);
    RecoverInstallation(ctx, install.Path());
    ctx.Console.Close();
    return test::DecodedStdOut(fake);
  }

  // The last moment before the commit: every file in place, the journal not yet settled.
  void CrashBeforeTheCommit(const test::TTempDir& install) {
    int lostAt = Attempt(install, 0);
    do {
      test::RemoveTree(install.Path());
      Attempt(install, --lostAt);
    } while (!FileExists(JournalPath(install.Path())) ||
             test::ReadFileBytes(JournalPath(install.Path())).ends_with("settled\n"));
  }

  test::TTempDir dir;
  const std::u16string archive = dir / u"zelk32_156.zip";
};

TEST_F(InstallCrashTest, ACrashAfterAnyStepLeavesTheOldOrTheNewInstallation) {
  test::WriteFileBytes(archive, test::Release().Build());
  test::TTempDir reference;
  const test::TTreeSnapshot oldTree = [&] {
    test::WriteOldInstallation(reference.Path());
    return test::SnapshotTree(reference.Path(), false);
  }();
  const int operations = Attempt(reference, 0);
  const test::TTreeSnapshot newTree = test::SnapshotTree(reference.Path(), false);
  ASSERT_NE(oldTree, newTree);
  int oldCount = 0;
  int newCount = 0;
  for (int lostAt = 1; lostAt <= operations; ++lostAt) {
    test::TTempDir install;
    Attempt(install, lostAt);
    test::TTreeSnapshot crashed = test::SnapshotTree(install.Path(), false);
    std::erase_if(crashed,
                  [](const auto& item) { return item.first.starts_with(kBackupFolderName); });
    const std::u16string out = Recover(install);
    const test::TTreeSnapshot recovered = test::SnapshotTree(install.Path(), false);
    ASSERT_TRUE(recovered == oldTree || recovered == newTree) << "power lost at " << lostAt;
    EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path()))) << lostAt;
    EXPECT_TRUE(out.empty() || out == kRestoredLine) << lostAt;
    if (crashed != oldTree && crashed != newTree) {
      EXPECT_EQ(out, kRestoredLine) << "a mixed installation put back silently at " << lostAt;
    }
    (recovered == oldTree ? oldCount : newCount) += 1;
  }
  EXPECT_GT(oldCount, 20);
  EXPECT_GT(newCount, 0);
}

// The attempt fails at its last entry and undoes itself; the power goes during that undo.
TEST_F(InstallCrashTest, ACrashWhileAFailedAttemptIsUndoneLeavesTheOldInstallation) {
  test::WriteFileBytes(archive, test::Release(test::kReleaseEntries - 1).Build());
  test::TTempDir reference;
  const int operations = Attempt(reference, 0);
  const test::TTreeSnapshot oldTree = test::SnapshotTree(reference.Path(), true);
  for (int lostAt = 1; lostAt <= operations; ++lostAt) {
    test::TTempDir install;
    Attempt(install, lostAt);
    Recover(install);
    EXPECT_EQ(test::SnapshotTree(install.Path(), false),
              test::SnapshotTree(reference.Path(), false))
        << "power lost at " << lostAt;
    EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path()))) << lostAt;
  }
  EXPECT_EQ(test::SnapshotTree(reference.Path(), true), oldTree);
}

// Before the next start the user runs ZELK, which rewrites a file the attempt had replaced and
// one it had added, and saves a file into a folder the attempt had made. Those stay exactly as the
// user left them, the rest goes back, and the journal goes for good.
TEST_F(InstallCrashTest, WhatTheUserChangesBeforeTheNextStartStaysTheirs) {
  test::WriteFileBytes(archive, test::Release().Build());
  test::TTempDir install;
  CrashBeforeTheCommit(install);
  ASSERT_EQ(test::ReadFileBytes(install / u"ZELK.EXE"), "new exe");
  ASSERT_TRUE(FileExists(install / u"NEW.TXT"));
  test::WriteFileBytes(install / u"ZELK.EXE", "the user's own build");
  test::WriteFileBytes(install / u"NEW.TXT", "notes the user wrote");
  test::WriteFileBytes(install / u"plugins\\mine.dll", "the user's plugin");
  const test::TTreeSnapshot changed = test::SnapshotTree(install.Path(), false);
  EXPECT_EQ(Recover(install), kRestoredLine);
  const test::TTreeSnapshot recovered = test::SnapshotTree(install.Path(), false);
  for (const std::u16string path : {u"ZELK.EXE", u"NEW.TXT", u"plugins\\mine.dll"}) {
    EXPECT_EQ(recovered.at(path), changed.at(path)) << Utf16ToUtf8(path);
  }
  EXPECT_EQ(test::ReadFileBytes(install / u"readme.txt"), "old readme");
  EXPECT_FALSE(FileExists(install / u"plugins\\a.dll"));
  EXPECT_FALSE(DirectoryExists(install / u"lib"));
  EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path())));
  EXPECT_EQ(Recover(install), u"");
}

// Before the next start the user removes the folder of a replaced file, or puts a file in its
// place. A removed folder is made again for the old file; a file in its place is the user's and
// stays. Either way the start settles the journal for good.
TEST_F(InstallCrashTest, AFolderTheUserRemovedGetsItsOldFileBackAFileInItsPlaceStays) {
  test::WriteFileBytes(archive, test::Release().Build());
  for (const bool fileInItsPlace : {false, true}) {
    test::TTempDir install;
    CrashBeforeTheCommit(install);
    ASSERT_EQ(test::ReadFileBytes(install / u"doc\\manual.txt"), "new manual");
    test::RemoveTree(install / u"doc");
    TFoundFile users;
    if (fileInItsPlace) {
      test::WriteFileBytes(install / u"doc", "the user's file");
      ASSERT_TRUE(FindFile(install / u"doc", users));
    }
    EXPECT_EQ(Recover(install), kRestoredLine) << fileInItsPlace;
    if (fileInItsPlace) {
      EXPECT_EQ(test::ReadFileBytes(install / u"doc"), "the user's file");
      TFoundFile after;
      ASSERT_TRUE(FindFile(install / u"doc", after));
      EXPECT_EQ(after.LastWrite, users.LastWrite) << "not the old folder's times";
    } else {
      EXPECT_EQ(test::ReadFileBytes(install / u"doc\\manual.txt"), "old manual");
      EXPECT_FALSE(FileExists(install / u"doc\\old-only.txt"));
    }
    EXPECT_EQ(test::ReadFileBytes(install / u"ZELK.EXE"), "old exe") << fileInItsPlace;
    EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path()))) << fileInItsPlace;
    EXPECT_EQ(Recover(install), u"") << fileInItsPlace;
  }
}

TEST_F(InstallCrashTest, TheRunPutsBackAnInterruptedUpdateBeforeAnythingElse) {
  test::WriteFileBytes(archive, test::Release().Build());
  test::TTempDir install;
  const int operations = Attempt(install, 0);
  Attempt(install, operations / 2);
  ASSERT_TRUE(DirectoryExists(BackupFolderPath(install.Path())));
  test::FakePlatform fake;
  fake.ModulePath = install / u"zelkupd.exe";
  fake.SessionFails = true;
  EXPECT_EQ(RunUpdate(fake, {}), 0);
  const std::u16string out = test::DecodedStdOut(fake);
  EXPECT_TRUE(out.starts_with(std::u16string(kRestoredLine) + u"ゼルク のアップデートを試みます."))
      << Utf16ToUtf8(out);
  EXPECT_EQ(test::ReadFileBytes(install / u"ZELK.EXE"), "old exe");
  EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path())));
}

}  // namespace
}  // namespace zelkupd
