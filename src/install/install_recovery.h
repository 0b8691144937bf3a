// Settling what an earlier run left in the install's folder: an attempt that a crash or a power
// cut interrupted is finished or undone, and the leftovers of one that ended are removed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "install/install_journal.h"
#include "install/roll.h"

namespace zelkupd {

enum class TSettleOutcome {
  Nothing,    // nothing was interrupted (leftovers of an attempt that ended may have gone)
  Completed,  // an interrupted attempt is finished: the release is installed
  Restored,   // an interrupted attempt is undone: the installation is as it was before it
  Stuck,      // an interrupted attempt can be neither finished nor undone now; Failure says why
  Unsettled,  // an interrupted attempt's journal is gone: it could not be undone, and nothing was
              // put back; Failure names the journal. A later attempt may still install
  Held,       // another run holds the lock: its attempt is under way, and nothing was looked at
};

struct TSettleResult {
  TSettleOutcome Outcome = TSettleOutcome::Nothing;
  TRollFailure Failure{};
  // Files found put aside without a journal and kept for the user (KeepPutAsideFiles): the folder
  // that holds them, for as long as it holds any. A later attempt may still install.
  std::optional<TRollFailure> Kept{};
  // The folder times to give once the install's folder has gone (GiveFolderTimes).
  std::vector<TJournalRecord> FolderTimes{};
  TJournalAction FolderTimesAction = TJournalAction::Restore;
};

// With the lock held. A journal at its name means every file of its attempt was staged and
// forced, so the attempt is rolled forward, leniently (roll.h). A file that another program
// holds, or that cannot be read to prove what it is, stops that for now: Stuck, the journal
// staying for a later start. Only an attempt that cannot be finished at all (its staged file
// gone where the old file is back) is rolled back instead, which can always finish the way back
// that the attempt's own undo may have begun. A journal of an earlier version is rolled back, as
// those versions did. A settled journal only has the folder cleared. Without a journal, staged
// files beside the journal's draft are an attempt cut off before it changed anything, or wholly
// undone: they are removed. Without the draft either, the journal was removed by someone else:
// the staged files go, the files put aside are kept (Unsettled, Kept). A journal that cannot be
// read, or not fully (a newer version's, a line that is no record), is left alone with
// everything it names: Stuck, naming it. The journal goes only once the folder holds nothing
// else but files only to remove.
TSettleResult SettleUnderLock(const std::u16string& installDir);

// At start-up, before anything else: SettleUnderLock when the install's folder is there, under
// the lock (Held when another run has it), then the folder times are given and the lock and the
// folder go (LetGoOfInstallFolder).
TSettleResult SettleInstallation(const std::u16string& installDir);

}  // namespace zelkupd
