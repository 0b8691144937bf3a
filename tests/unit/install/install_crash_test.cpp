// Power lost at every single step of an installation attempt: from a chosen file operation on,
// nothing more reaches the disk (the attempt's own undo cannot run either), and whatever was
// written but not yet forced to the disk is lost. The next start must find the old installation
// or the new one, never a mix, and no leftover: the old one while the journal was not yet at its
// name, the new one once it was. Files the user changed meanwhile stay theirs.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "install/install_names.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/power_cut.h"
#include "support/sample_install.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "update/extract.h"
#include "update/run.h"
#include "zip/zip_file.h"

namespace zelkupd {
namespace {

constexpr char16_t kRestoredLine[] = u"前回中断したアップデートを元に戻しました.\r\n";
constexpr char16_t kCompletedLine[] = u"前回中断したアップデートを完了しました.\r\n";
constexpr char16_t kNotRestoredLine[] = u"前回中断したアップデートを元に戻せませんでした.\r\n";

// The operations of an attempt, counted as the power cut counts them. Those at which the journal
// stands at its name and "settled" is not being written yet are the placing's.
std::u16string gJournal;
std::vector<int> gPlacing;
int gSeen = 0;
int gPhase = 0;
bool NotePlacing(TFaultPoint point, std::u16string_view path) {
  ++gSeen;
  if (path == gJournal) {
    gPhase = point == TFaultPoint::Replace ? 1 : 2;
  } else if (gPhase == 1) {
    gPlacing.push_back(gSeen);
  }
  return false;
}

// Operation gFailAt fails, and so does gFailAgainAt (when not 0), as a disk error fails them.
int gFailAt = 0;
int gFailAgainAt = 0;
bool FailTwice(TFaultPoint, std::u16string_view) {
  ++gSeen;
  return gSeen == gFailAt || gSeen == gFailAgainAt;
}

class InstallCrashTest : public ::testing::Test {
 protected:
  // One attempt on a fresh copy of the old installation, the power lost at operation `lostAt`
  // (0: never), the operations that `failing` names failing before that. Returns how many file
  // operations it asked for.
  int Attempt(const test::TTempDir& install, int lostAt, TFaultHook failing = nullptr) {
    test::WriteOldInstallation(install.Path());
    test::TPowerCut power(lostAt);
    power.FailAlso(failing, false);
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
  // Whether the attempt had its journal at its name and not settled when the power went.
  static bool Placing(const test::TTempDir& install) {
    return FileExists(JournalPath(install.Path())) &&
           !test::ReadFileBytes(JournalPath(install.Path())).ends_with("settled\n");
  }

  // The last moment before the commit: every file in place, the journal not yet settled.
  void CrashBeforeTheCommit(const test::TTempDir& install) {
    int lostAt = Attempt(install, 0);
    do {
      test::RemoveTree(install.Path());
      Attempt(install, --lostAt);
    } while (!Placing(install));
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
    const bool journal = FileExists(JournalPath(install.Path()));
    const bool placing = Placing(install);
    test::TTreeSnapshot crashed = test::SnapshotTree(install.Path(), false);
    std::erase_if(crashed,
                  [](const auto& item) { return item.first.starts_with(kBackupFolderName); });
    const std::u16string out = Recover(install);
    const test::TTreeSnapshot recovered = test::SnapshotTree(install.Path(), false);
    if (journal) {
      EXPECT_EQ(recovered, newTree) << "power lost at " << lostAt;
      EXPECT_EQ(out, placing ? kCompletedLine : u"") << lostAt;
    } else {
      EXPECT_TRUE(crashed == oldTree || crashed == newTree)
          << "changed without a journal at " << lostAt;
      EXPECT_EQ(recovered, crashed) << "power lost at " << lostAt;
      EXPECT_TRUE(out.empty() || out == kRestoredLine) << lostAt;
    }
    EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path()))) << lostAt;
    (recovered == oldTree ? oldCount : newCount) += 1;
  }
  EXPECT_GT(oldCount, 20);
  EXPECT_GT(newCount, 5);
}

// The attempt fails at its last entry, before anything changes; the power goes while it clears
// what it staged. The installation is as it was written, every byte and time, both after the
// attempt and after the next start, which says it put the update back exactly where the cut left
// staged files to remove.
TEST_F(InstallCrashTest, ACrashWhileAFailedAttemptClearsUpLeavesTheOldInstallation) {
  test::WriteFileBytes(archive, test::Release(test::kReleaseEntries - 1).Build());
  test::TTempDir written;
  test::WriteOldInstallation(written.Path());
  test::TTempDir reference;
  const int operations = Attempt(reference, 0);
  ASSERT_EQ(test::SnapshotTree(reference.Path(), true), test::SnapshotTree(written.Path(), true));
  const test::TTreeSnapshot oldTree = test::SnapshotTree(written.Path(), false);
  int restored = 0;
  for (int lostAt = 1; lostAt <= operations; ++lostAt) {
    test::TTempDir install;
    Attempt(install, lostAt);
    ASSERT_FALSE(FileExists(JournalPath(install.Path()))) << lostAt;
    const std::vector<TDirEntry> left = ListDirectory(BackupFolderPath(install.Path()));
    const bool staged = std::any_of(left.begin(), left.end(), [](const TDirEntry& entry) {
      return IsStagedFileName(entry.Name);
    });
    EXPECT_EQ(Recover(install), staged ? kRestoredLine : u"") << "power lost at " << lostAt;
    EXPECT_EQ(test::SnapshotTree(install.Path(), false), oldTree) << "power lost at " << lostAt;
    EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path()))) << lostAt;
    EXPECT_EQ(Recover(install), u"") << lostAt;
    restored += staged ? 1 : 0;
  }
  EXPECT_GT(restored, 0);
}

// Placing fails at a middle or at its last step, and a second fault meets the attempt's
// own undo at any later step: that step fails too, or the power goes there. Where the undo stops
// short of turning the journal back into its draft, the journal and the staged files stay, and
// the next start finishes the attempt; otherwise the installation is the old one.
TEST_F(InstallCrashTest, AnUndoCutShortOrFailingIsFinishedByTheNextStart) {
  test::WriteFileBytes(archive, test::Release().Build());
  test::TTempDir written;
  test::WriteOldInstallation(written.Path());
  const test::TTreeSnapshot oldTree = test::SnapshotTree(written.Path(), false);
  test::TTempDir reference;
  gJournal = JournalPath(reference.Path());
  gPlacing.clear();
  gSeen = 0;
  gPhase = 0;
  Attempt(reference, 0, &NotePlacing);
  const test::TTreeSnapshot newTree = test::SnapshotTree(reference.Path(), false);
  ASSERT_GT(gPlacing.size(), 2u);
  int finished = 0;
  for (const int failAt : {gPlacing[gPlacing.size() / 2], gPlacing.back()}) {
    gFailAt = failAt;
    gFailAgainAt = 0;
    gSeen = 0;
    const int operations = [&] {
      const test::TTempDir once;
      return Attempt(once, 0, &FailTwice);
    }();
    for (int second = failAt + 1; second <= operations; ++second) {
      for (const bool cut : {true, false}) {
        test::TTempDir install;
        gFailAgainAt = cut ? 0 : second;
        gSeen = 0;
        Attempt(install, cut ? second : 0, &FailTwice);
        const bool journal = FileExists(JournalPath(install.Path()));
        const std::u16string out = Recover(install);
        const std::string at = "placing failed at " + std::to_string(failAt) +
                               (cut ? ", the power lost at " : ", failed again at ") +
                               std::to_string(second);
        if (journal) {
          EXPECT_EQ(test::SnapshotTree(install.Path(), false), newTree) << at;
          EXPECT_EQ(out, kCompletedLine) << at;
          ++finished;
        } else {
          EXPECT_EQ(test::SnapshotTree(install.Path(), false), oldTree) << at;
          EXPECT_TRUE(out.empty() || out == kRestoredLine) << at << Utf16ToUtf8(out);
        }
        EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path()))) << at;
      }
    }
  }
  EXPECT_GT(finished, 5);
}

// Before the next start the user runs ZELK, which rewrites a file the attempt had replaced and
// one it had added, and saves a file into a folder the attempt had made. Those stay exactly as the
// user left them, the attempt is finished, and the journal goes for good.
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
  EXPECT_EQ(Recover(install), kCompletedLine);
  const test::TTreeSnapshot recovered = test::SnapshotTree(install.Path(), false);
  for (const std::u16string path : {u"ZELK.EXE", u"NEW.TXT", u"plugins\\mine.dll"}) {
    EXPECT_EQ(recovered.at(path), changed.at(path)) << Utf16ToUtf8(path);
  }
  EXPECT_EQ(test::ReadFileBytes(install / u"readme.txt"), "new readme");
  EXPECT_TRUE(FileExists(install / u"plugins\\a.dll"));
  EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path())));
  EXPECT_EQ(Recover(install), u"");
}

// After a cut at any step, the user rewrites every file that the release replaces, keeping its
// size and times, as a tool that patches a file in place and puts its times back does. Only the
// bytes tell such a file from the one the attempt met or left: each stays exactly the user's, and
// every other file is of one version.
TEST_F(InstallCrashTest, AFileTheUserRewroteKeepingItsSizeAndTimesStaysTheirs) {
  test::WriteFileBytes(archive, test::Release().Build());
  const std::u16string replaced[] = {u"ZELK.EXE", u"doc\\manual.txt", u"readme.txt"};
  const auto others = [&](test::TTreeSnapshot tree) {
    for (const std::u16string& path : replaced) {
      tree.erase(path);
    }
    return tree;
  };
  test::TTempDir reference;
  test::WriteOldInstallation(reference.Path());
  const test::TTreeSnapshot oldTree = others(test::SnapshotTree(reference.Path(), false));
  const int operations = Attempt(reference, 0);
  const test::TTreeSnapshot newTree = others(test::SnapshotTree(reference.Path(), false));
  for (int lostAt = 1; lostAt <= operations; ++lostAt) {
    test::TTempDir install;
    Attempt(install, lostAt);
    for (const std::u16string& path : replaced) {
      TFileTimes times;
      if (!GetFileTimes(install / path, times)) {
        continue;  // put aside, its new one not placed yet
      }
      std::string bytes = test::ReadFileBytes(install / path);
      for (char& byte : bytes) {
        byte = static_cast<char>(~byte);
      }
      test::WriteFileBytes(install / path, bytes);
      ASSERT_TRUE(SetFileTimes(install / path, times.Creation, times.LastWrite));
    }
    const test::TTreeSnapshot changed = test::SnapshotTree(install.Path(), false);
    Recover(install);
    const test::TTreeSnapshot recovered = test::SnapshotTree(install.Path(), false);
    for (const std::u16string& path : replaced) {
      EXPECT_TRUE(!changed.contains(path) || recovered.at(path) == changed.at(path))
          << Utf16ToUtf8(path) << " after the power was lost at " << lostAt;
    }
    EXPECT_TRUE(others(recovered) == oldTree || others(recovered) == newTree) << lostAt;
    EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path()))) << lostAt;
  }
}

// The power goes as the attempt places its files, once ZELK.EXE is in place, and the user puts
// the old ZELK.EXE back by hand: the attempt can no longer be finished, only undone, and the next
// start undoes it. The power goes at any step of that undo too; the start after it finishes the
// undo, and the installation is the old one.
TEST_F(InstallCrashTest, AnUndoAtTheNextStartCutShortIsFinishedByTheStartAfter) {
  test::WriteFileBytes(archive, test::Release().Build());
  test::TTempDir written;
  test::WriteOldInstallation(written.Path());
  const test::TTreeSnapshot oldTree = test::SnapshotTree(written.Path(), false);
  test::TTempDir reference;
  int placedAt = Attempt(reference, 0);
  do {
    test::RemoveTree(reference.Path());
    Attempt(reference, --placedAt);
  } while (!Placing(reference));
  const auto putBackByHand = [](const test::TTempDir& install) {
    test::WriteFileBytes(install / u"ZELK.EXE", "old exe");
    SetFileTimes(install / u"ZELK.EXE", test::OldInstallationTime(), test::OldInstallationTime());
  };
  putBackByHand(reference);
  const int operations = [&] {
    const test::TPowerCut counter(0);
    EXPECT_EQ(Recover(reference), kRestoredLine);
    return counter.Operations();
  }();
  ASSERT_EQ(test::SnapshotTree(reference.Path(), false), oldTree);
  for (int lostAt = 1; lostAt <= operations; ++lostAt) {
    test::TTempDir install;
    Attempt(install, placedAt);
    putBackByHand(install);
    {
      test::TPowerCut power(lostAt);
      Recover(install);
      power.LoseUnflushed(install.Path());
    }
    const std::u16string out = Recover(install);
    EXPECT_EQ(test::SnapshotTree(install.Path(), false), oldTree) << "power lost at " << lostAt;
    EXPECT_TRUE(out.empty() || out == kRestoredLine) << lostAt << Utf16ToUtf8(out);
  }
}

// The power goes once the attempt has placed every file, and the user deletes its journal. Nothing
// says any more which path each file put aside belongs to: the next start keeps them, and it and
// every start after it say where, for as long as they are there.
TEST_F(InstallCrashTest, FilesPutAsideWhoseJournalIsGoneAreKeptAndNamedByEveryStart) {
  test::WriteFileBytes(archive, test::Release().Build());
  test::TTempDir install;
  CrashBeforeTheCommit(install);
  ASSERT_TRUE(RemoveFile(JournalPath(install.Path())));
  const std::u16string keptLine = std::u16string(kNotRestoredLine) + u"　→ " +
                                  KeptFolderPath(install.Path()) + u" : " +
                                  SysErrorMessage(kInvalidDataError) + u"\r\n";
  EXPECT_EQ(Recover(install), keptLine);
  EXPECT_EQ(Recover(install), keptLine);
  std::multiset<std::string> kept;
  for (const auto& [path, entry] : test::SnapshotTree(KeptFolderPath(install.Path()), false)) {
    kept.insert(entry.Bytes);
  }
  EXPECT_EQ(kept, (std::multiset<std::string>{"old exe", "old manual", "old readme"}));
  EXPECT_EQ(test::ReadFileBytes(install / u"ZELK.EXE"), "new exe");
}

// What any unzip tool does: every entry written over the installation, with the entry's time.
void ExtractByHand(const std::u16string& archivePath, const std::u16string& folder) {
  TZipFile zip;
  zip.Open(archivePath, TZipMode::zmRead);
  for (int i = 0; i < zip.GetFileCount(); ++i) {
    zip.Extract(i, folder, true);
    const TFileTime time =
        LocalToUtcFileTime(DosDateTimeToSystemTime(zip.GetFileInfo(i).ModifiedDateTime));
    SetFileTimes(zip.PrepareOutput(i, folder, true).FilePath, time, time);
  }
}

// The power goes at any step; the user, seeing the update half done, extracts the release by hand
// and starts zelkupd again. Whatever the cut left, the release ends installed, nothing of the old
// one missing or old, and the start takes nothing the user's extraction wrote.
TEST_F(InstallCrashTest, AReleaseExtractedByHandAfterACutStaysInstalled) {
  test::WriteFileBytes(archive, test::Release().Build());
  test::TTempDir reference;
  const int operations = Attempt(reference, 0);
  const test::TTreeSnapshot newTree = test::SnapshotTree(reference.Path(), false);
  for (int lostAt = 1; lostAt <= operations; ++lostAt) {
    test::TTempDir install;
    Attempt(install, lostAt);
    ExtractByHand(archive, install.Path());
    Recover(install);
    test::TTreeSnapshot recovered = test::SnapshotTree(install.Path(), false);
    for (const auto& [path, entry] : newTree) {
      EXPECT_TRUE(recovered.contains(path) && (entry.IsDirectory || recovered.at(path) == entry))
          << Utf16ToUtf8(path) << " after the power was lost at " << lostAt;
    }
    EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path()))) << lostAt;
  }
}

TEST_F(InstallCrashTest, TheRunFinishesAnInterruptedUpdateBeforeAnythingElse) {
  test::WriteFileBytes(archive, test::Release().Build());
  test::TTempDir install;
  CrashBeforeTheCommit(install);
  test::FakePlatform fake;
  fake.ModulePath = install / u"zelkupd.exe";
  fake.SessionFails = true;
  EXPECT_EQ(RunUpdate(fake, {}), 0);
  const std::u16string out = test::DecodedStdOut(fake);
  EXPECT_TRUE(out.starts_with(std::u16string(kCompletedLine) + u"ゼルク のアップデートを試みます."))
      << Utf16ToUtf8(out);
  EXPECT_EQ(test::ReadFileBytes(install / u"ZELK.EXE"), "new exe");
  EXPECT_FALSE(DirectoryExists(BackupFolderPath(install.Path())));
}

}  // namespace
}  // namespace zelkupd
