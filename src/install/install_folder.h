// The install's own folder: the one-attempt lock taken in it, and the folder cleared once an
// attempt is settled, the lock going last.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "install/install_journal.h"
#include "install/roll.h"
#include "runtime/lock_file.h"

namespace zelkupd {

// Takes the lock in the install's folder of `installDir`, making the folder first when
// `makeFolder`. Null when another run holds it. Raises EFCreateError when the folder or the lock
// cannot be made.
std::unique_ptr<TLockFile> TakeInstallLock(const std::u16string& installDir, bool makeFolder);

// Removes every file of the install's folder but the lock and the journal, read-only or not;
// true when none is left.
bool EmptyInstallFolder(const std::u16string& installDir);
// The number after the highest one of the files left in the install's folder: where a new
// attempt's numbers begin.
std::uint32_t NextInstallNumber(const std::u16string& installDir);

// Appends "settled" to the journal and forces it to the disk; false when that fails.
bool MarkJournalSettled(const std::u16string& installDir);
// Removes the journal, read-only or not.
TRollResult RemoveJournal(const std::u16string& installDir);
// Gives the folders of the `action` records (times or restore) their recorded times, in the
// order given, where a folder stands: the installation folder's alone, or every other one's.
void GiveFolderTimes(const std::u16string& installDir, const std::vector<TJournalRecord>& records,
                     TJournalAction action, bool installationFolder);

// Ends the holding of the lock: the folders of `records` get their times while it is held, so
// that no other run's attempt meets them half given; then the lock is let go of and the install's
// folder removed when nothing is left in it, which moves the installation folder's time; last
// that folder gets its own.
void LetGoOfInstallFolder(std::unique_ptr<TLockFile> lock, const std::u16string& installDir,
                          const std::vector<TJournalRecord>& records, TJournalAction action);

}  // namespace zelkupd
