#include "install/install_attempt.h"

#include <memory>

#include "install/install_folder.h"
#include "install/install_names.h"
#include "install/install_plan.h"
#include "install/install_recovery.h"
#include "install/roll.h"
#include "install/staging.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/replacement_file.h"

namespace zelkupd {
namespace {

[[noreturn]] void RaiseFailure(const TRollFailure& failure) {
  throw EFCreateError(FileCreateErrorText(ExpandFileName(failure.Path), failure.Error),
                      failure.Error);
}

// The journal is written whole beside its name, into its draft, made before the first file was
// staged, forced, and moved there: from the moment it stands at its name it is complete, and
// every file it names is on the disk. The lines go out in pieces, so the journal of a large
// archive is never held as one text.
void WriteJournal(const TInstallPlan& plan, TReplacementFile& journal) {
  constexpr std::size_t kPiece = 64 * 1024;
  std::string piece = FormatJournalHeader();
  for (std::size_t i = 0; i < plan.RecordCount(); ++i) {
    piece += FormatJournalRecord(plan.Record(i));
    if (piece.size() >= kPiece) {
      journal.Stream().WriteBuffer(piece.data(), piece.size());
      piece.clear();
    }
  }
  journal.Stream().WriteBuffer(piece.data(), piece.size());
  if (!journal.Stream().FlushToDisk()) {
    throw EWriteError(texts::kStreamWriteError, LastOsError());
  }
  if (!journal.MoveOver()) {
    RaiseFailure({JournalPath(plan.InstallDir()), LastOsError()});
  }
}

class TAttempt {
 public:
  TAttempt(TZipFile& zip, TEntryStamp stamp, std::u16string installDir, const TOwnFiles& own)
      : FZip(zip), FStamp(stamp), FInstallDir(std::move(installDir)), FOwn(own) {}

  void Run() {
    ForceDirectories(FInstallDir);
    // The installation folder's times before the install's folder moves them: read before that
    // folder is made, or, where it is there already, once the lock is held.
    const bool folderThere = DirectoryExists(BackupFolderPath(FInstallDir));
    if (!folderThere) {
      ReadRootTimes();
    }
    FLock = TakeInstallLock(FInstallDir, true);
    if (!FLock) {
      throw EInstallHeld(
          FileCreateErrorText(ExpandFileName(LockPath(FInstallDir)), kSharingViolationError),
          kSharingViolationError);
    }
    if (folderThere) {
      ReadRootTimes();
    }
    const TSettleResult earlier = SettleUnderLock(FInstallDir);
    if (earlier.Outcome == TSettleOutcome::Stuck) {
      FLock.reset();
      RaiseFailure(earlier.Failure);
    }
    GiveFolderTimes(FInstallDir, earlier.FolderTimes, earlier.FolderTimesAction, false);
    TInstallPlan plan(FZip, FInstallDir, FStamp, FHadRoot ? &FRoot : nullptr,
                      NextInstallNumber(FInstallDir), FOwn);
    std::unique_ptr<TReplacementFile> journal;
    try {
      journal = std::make_unique<TReplacementFile>(JournalPath(FInstallDir));
      plan.Make();
      StageFiles(FZip, plan);
      ForceStagedFiles(plan);
      plan.Finish();
      WriteJournal(plan, *journal);
    } catch (...) {
      // Nothing changed but the installation folder's times, which the install's folder moved.
      // The journal's draft, closed, stays for as long as a staged file that cannot go stays
      // beside it, which it marks as a leftover.
      if (journal) {
        journal->Keep();
      }
      EmptyInstallFolder(FInstallDir, false);
      journal.reset();
      std::vector<TJournalRecord> root;
      if (FHadRoot) {
        root.push_back({.Action = TJournalAction::Times,
                        .Creation = FRoot.Creation,
                        .LastWrite = FRoot.LastWrite});
      }
      LetGoOfInstallFolder(std::move(FLock), FInstallDir, root, TJournalAction::Times);
      throw;
    }
    Place(plan);
    // Every record is in place: the attempt has succeeded whatever happens to its leftovers.
    MarkJournalSettled(FInstallDir);
    if (EmptyInstallFolder(FInstallDir, true)) {
      RemoveJournal(FInstallDir);
    }
    std::vector<TJournalRecord> restores;
    for (std::size_t i = 0; i < plan.RecordCount(); ++i) {
      if (TJournalRecord record = plan.Record(i); record.Action == TJournalAction::Restore) {
        restores.push_back(std::move(record));
      }
    }
    LetGoOfInstallFolder(std::move(FLock), FInstallDir, restores, TJournalAction::Restore);
  }

 private:
  void Place(const TInstallPlan& plan) {
    for (std::size_t i = 0; i < plan.RecordCount(); ++i) {
      if (TRollResult failed = RollForward(FInstallDir, plan.Record(i), TRollMode::InProcess)) {
        Undo(plan, i);
        RaiseFailure(*failed);
      }
    }
  }

  // Records 0 to `last` ran, the last perhaps in part; they go back newest first. Should one not
  // go back now, the journal stays and the next start or attempt settles it.
  void Undo(const TInstallPlan& plan, std::size_t last) {
    std::vector<TJournalRecord> ran;
    ran.reserve(last + 1);
    for (std::size_t i = 0; i <= last; ++i) {
      ran.push_back(plan.Record(i));
    }
    if (RollBackRecords(FInstallDir, ran, TRollMode::InProcess) || RetireJournal(FInstallDir)) {
      FLock.reset();
      return;
    }
    EmptyInstallFolder(FInstallDir, false);
    const std::vector<TJournalRecord> times(ran.rbegin(), ran.rend());
    LetGoOfInstallFolder(std::move(FLock), FInstallDir, times, TJournalAction::Times);
  }

  void ReadRootTimes() { FHadRoot = FindFile(ExcludeTrailingBackslash(FInstallDir), FRoot); }

  TZipFile& FZip;
  TEntryStamp FStamp;
  std::u16string FInstallDir;
  const TOwnFiles& FOwn;
  TFoundFile FRoot;
  bool FHadRoot = false;
  std::unique_ptr<TLockFile> FLock;
};

}  // namespace

void InstallArchive(TZipFile& zip, TEntryStamp stamp, const std::u16string& installDir,
                    const TOwnFiles& own) {
  TAttempt(zip, stamp, installDir, own).Run();
}

}  // namespace zelkupd
