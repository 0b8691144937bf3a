// Settling an install journal: putting back what an unfinished attempt changed, and removing the
// backups of a finished one. The failed attempt and the next start after a crash share it.
#pragma once

#include <string>
#include <vector>

#include "update/install_journal.h"

namespace zelkupd {

struct TSettled {
  bool HadPending = false;  // records after the last "settled": an attempt had not finished
  bool Undone = true;       // every pending change is put back
  // The records the journal still holds afterwards: all of them when the undo stopped short, the
  // backups that could not be removed yet (files still in use) and a "settled" line when only
  // those are left, none when the journal and the backup folder are gone.
  std::vector<TJournalRecord> Kept{};
};

// Undoes the pending records newest first (a backup goes back over whatever stands at its path,
// with its times; an added file or folder is removed when it is there), then removes the backups
// the settled records name, then the journal and the backup folder, and last sets back the times
// of the folders the undone attempt changed. Nothing raises: whatever could not be done stays in
// the journal for the next try. When the undo stopped short the journal is left exactly as it is;
// when only backups in use are left it is rewritten to name just those, settled.
TSettled SettleRecords(const std::u16string& installDir,
                       const std::vector<TJournalRecord>& records);

// SettleRecords on the journal left in the installation folder; a backup folder without a
// journal is only removed. Raises the open error when a journal is there but cannot be read (an
// attempt of another run holds it).
TSettled SettleLeftoverJournal(const std::u16string& installDir);

}  // namespace zelkupd
