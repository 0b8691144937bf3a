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

// Removes every file of the install's folder but the lock, the journal and the kept files,
// read-only or not, the journal's draft last: while it stands, what is left is known to be
// nothing but leftovers. Once the attempt is `settled`, a file that cannot go now (the running
// updater's old image) is renamed <n>.DEL, for any later start to remove. True when nothing is
// left but such files.
bool EmptyInstallFolder(const std::u16string& installDir, bool settled);
// The number after the highest one of the files left in the install's folder and of the kept
// ones: where a new attempt's numbers begin, so that no name it gives meets one of theirs.
std::uint32_t NextInstallNumber(const std::u16string& installDir);

// Without a journal, every file put aside may be the only copy of a user's old file, and nothing
// says where it belongs: each is moved into the folder of kept files, as it is. The failure of
// the first that cannot be moved now, which then stays where it is.
TRollResult KeepPutAsideFiles(const std::u16string& installDir);
// Whether the folder of kept files holds anything; an empty one is removed.
bool HasKeptFiles(const std::u16string& installDir);

// Appends "settled" to the journal and forces it to the disk; false when that fails.
bool MarkJournalSettled(const std::u16string& installDir);
// Removes the journal, read-only or not.
TRollResult RemoveJournal(const std::u16string& installDir);
// Turns the journal of an attempt wholly undone back into its draft, which says that nothing of
// it is in place, so that the staged files left beside it are only leftovers, should a cut come
// before they are removed.
TRollResult RetireJournal(const std::u16string& installDir);
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
