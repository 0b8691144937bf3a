#include "install/install_recovery.h"

#include <algorithm>
#include <optional>

#include "install/install_folder.h"
#include "install/install_names.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/stream.h"

namespace zelkupd {
namespace {

TSettleResult Stuck(TRollFailure failure) {
  return {.Outcome = TSettleOutcome::Stuck, .Failure = std::move(failure)};
}

// The way back ends with the journal made its draft again first: the staged files that stay
// behind beside the draft are then only leftovers, never an attempt to finish again over old
// files, nor one that had begun to change the installation.
TSettleResult RollBackAll(const std::u16string& installDir,
                          const std::vector<TJournalRecord>& records, bool pending) {
  if (TRollResult failed = RollBackRecords(installDir, records, TRollMode::AfterCut)) {
    return Stuck(std::move(*failed));
  }
  if (TRollResult failed = RetireJournal(installDir)) {
    return Stuck(std::move(*failed));
  }
  EmptyInstallFolder(installDir, false);
  std::vector<TJournalRecord> times(records.rbegin(), records.rend());
  return {.Outcome = pending ? TSettleOutcome::Restored : TSettleOutcome::Nothing,
          .FolderTimes = std::move(times),
          .FolderTimesAction = TJournalAction::Times};
}

// Everything rolled forward: the folder is cleared and the journal goes last; should anything
// stay, the journal says it is settled, so that later starts only clear the folder.
TSettleResult FinishForward(const std::u16string& installDir, std::vector<TJournalRecord> records,
                            TSettleOutcome outcome) {
  if (outcome == TSettleOutcome::Completed) {
    MarkJournalSettled(installDir);
  }
  if (EmptyInstallFolder(installDir, true)) {
    RemoveJournal(installDir);
  }
  return {.Outcome = outcome,
          .FolderTimes = std::move(records),
          .FolderTimesAction = TJournalAction::Restore};
}

TSettleResult SettleJournal(const std::u16string& installDir) {
  const std::u16string path = JournalPath(installDir);
  std::string bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const EStreamError& error) {
    return Stuck({path, error.OsError()});
  }
  std::optional<std::vector<TJournalRecord>> records = ParseJournal(bytes);
  if (!records) {
    return Stuck({path, kInvalidDataError});
  }
  std::size_t pendingStart = 0;
  for (std::size_t i = 0; i < records->size(); ++i) {
    if ((*records)[i].Action == TJournalAction::Settled) {
      pendingStart = i + 1;
    }
  }
  const bool pending = pendingStart < records->size();
  const bool legacy =
      std::any_of(records->begin(), records->end(), [](const auto& r) { return r.Legacy; });
  if (legacy) {
    records->erase(records->begin(), records->begin() + static_cast<std::ptrdiff_t>(pendingStart));
    return RollBackAll(installDir, *records, pending);
  }
  if (!pending) {
    return FinishForward(installDir, std::move(*records), TSettleOutcome::Nothing);
  }
  for (const TJournalRecord& record : *records) {
    if (TRollResult failed = RollForward(installDir, record, TRollMode::AfterCut)) {
      // A file that another program holds, or that cannot be changed now, may be let go of: the
      // journal stays for a later start, and the attempt stays as far as it has come. Only an
      // attempt that cannot be finished at all is undone.
      if (failed->Error == 0 || IsFileInUseError(failed->Error)) {
        return Stuck(std::move(*failed));
      }
      return RollBackAll(installDir, *records, true);
    }
  }
  return FinishForward(installDir, std::move(*records), TSettleOutcome::Completed);
}

// Without a journal. Its draft there means that the attempt never had it at its name, or was
// wholly undone: nothing of it is in place, and its staged files only go. Without the draft
// either, the journal was at its name and is gone, removed by someone else: the attempt may have
// put old files aside and placed new ones, and nothing says which path each belongs to, nor
// whether the file at a path now is the attempt's or the user's. So no old file is put back by
// guess, nor removed: each is kept, as it is, for the user. Staged files are copies of the
// release's, and files only to remove are a settled attempt's: they go.
TSettleResult SettleWithoutJournal(const std::u16string& installDir) {
  const std::vector<TDirEntry> entries = ListDirectory(BackupFolderPath(installDir));
  const bool draft = FileExists(JournalDraftPath(installDir));
  const bool staged = std::any_of(entries.begin(), entries.end(), [](const TDirEntry& entry) {
    return !entry.IsDirectory && IsStagedFileName(entry.Name);
  });
  if (TRollResult failed = KeepPutAsideFiles(installDir)) {
    return Stuck(std::move(*failed));
  }
  EmptyInstallFolder(installDir, false);
  if (staged && !draft) {
    return {.Outcome = TSettleOutcome::Unsettled,
            .Failure = {JournalPath(installDir), kFileNotFoundError}};
  }
  return {.Outcome = staged ? TSettleOutcome::Restored : TSettleOutcome::Nothing};
}

}  // namespace

TSettleResult SettleUnderLock(const std::u16string& installDir) {
  TSettleResult result = FileExists(JournalPath(installDir)) ? SettleJournal(installDir)
                                                             : SettleWithoutJournal(installDir);
  if (result.Outcome != TSettleOutcome::Stuck && HasKeptFiles(installDir)) {
    result.Kept = TRollFailure{KeptFolderPath(installDir), kInvalidDataError};
  }
  return result;
}

TSettleResult SettleInstallation(const std::u16string& installDir) {
  const std::u16string folder = BackupFolderPath(installDir);
  if (!DirectoryExists(folder)) {
    return {};
  }
  std::unique_ptr<TLockFile> lock;
  try {
    lock = TakeInstallLock(installDir, false);
  } catch (const EStreamError& error) {
    if (!DirectoryExists(folder)) {
      // Another run settled it and removed it in the meantime: nothing was interrupted.
      return {};
    }
    return Stuck({LockPath(installDir), error.OsError()});
  }
  if (!lock) {
    return {.Outcome = TSettleOutcome::Held};
  }
  TSettleResult result = SettleUnderLock(installDir);
  if (result.Outcome != TSettleOutcome::Stuck) {
    LetGoOfInstallFolder(std::move(lock), installDir, result.FolderTimes, result.FolderTimesAction);
  }
  return result;
}

}  // namespace zelkupd
