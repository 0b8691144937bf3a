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
// Once the lock is let go of: removes the install's folder when nothing is left in it.
void RemoveInstallFolder(const std::u16string& installDir);

// Gives the folders of the `action` records (times or restore) their recorded times, in the
// order given, where a folder stands.
void GiveFolderTimes(const std::u16string& installDir, const std::vector<TJournalRecord>& records,
                     TJournalAction action);

}  // namespace zelkupd
