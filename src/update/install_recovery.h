// Settling an install journal: putting back what an unfinished attempt changed, and removing the
// backups of a finished one. The failed attempt and the next start after a crash share it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/stream.h"
#include "update/install_journal.h"

namespace zelkupd {

struct TSettled {
  bool Held = false;        // another run holds the journal: nothing was looked at or changed
  bool HadPending = false;  // records after the last "settled": an attempt had not finished
  bool Undone = true;       // every pending change is put back
  // The records the journal still holds afterwards: all of them when the undo stopped short, the
  // backups that could not be removed yet (files still in use) and a "settled" line when only
  // those are left, none when the journal and the backup folder are gone.
  std::vector<TJournalRecord> Kept{};
};

// Settles `records`, the content of `journal`, which the caller holds open without sharing and
// hands over: whoever holds the journal is the only one to settle it. Undoes the pending records
// newest first, then marks the journal settled and removes the backups it names, and only then
// lets go of the journal; last it removes the journal and the backup folder and sets back the
// times of the folders the undone attempt changed. Nothing raises: whatever could not be done
// stays in the journal for the next try. When the undo stopped short the journal is left exactly
// as it is; when only backups in use are left it is rewritten to name just those, settled.
//
// An undo removes or replaces only what is provably the attempt's own: a file that looks as one
// of the records of its path says the attempt wrote it (size and last-write time), read-only or
// not. The records that reach one path are undone as one, by the first of them, so that an old
// file that is back is never taken for the attempt's when the undo runs again. Whatever else
// stands at a path is someone else's and stays as it is now; the backup of a file that was
// changed after the attempt is removed, as its commit would have removed it, for the change was
// made over the new file, and so is the backup of a file whose folder the user replaced by a
// file. A path with nothing at it gets its old file back, its folders made again if the user
// removed them. A folder the attempt added is removed when it is empty and stays when anything
// is in it. Records of format 1 carry no identities, so nothing at their paths is provably the
// attempt's: it stays, and only a path left empty gets its old file back.
TSettled SettleRecords(const std::u16string& installDir, const std::vector<TJournalRecord>& records,
                       std::unique_ptr<TFileStream> journal);

// SettleRecords on the journal left in the installation folder; a backup folder without a
// journal is only emptied and removed. A journal that another run holds (its attempt is under
// way) is left alone, Held. Raises the open or read error when the journal is there but cannot
// be read for any other reason.
TSettled SettleLeftoverJournal(const std::u16string& installDir);

}  // namespace zelkupd
