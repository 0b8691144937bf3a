// One journal record's change put in place (rolled forward) or taken back (rolled back), from any
// state that a cut between two file operations can leave, so that either can simply be run again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/install_journal.h"

namespace zelkupd {

// In process the attempt rolls its own records, moments after staging read every file it meets:
// a path that is not as the plan found it fails the attempt, and a file is known by its size and
// time. After a cut, the next start rolls leniently and asks for proof: a path that holds neither
// the file the record found there nor the one it leaves (by size, time and CRC-32) is the user's,
// and the record passes it by, whichever way it rolls. A file that cannot be read to prove what
// it is (another program holds it) is neither: the record fails with the read's error.
enum class TRollMode { InProcess, AfterCut };

// The path a record could not be rolled at, and the system's error code (kInvalidDataError when
// the path was not as the plan found it).
struct TRollFailure {
  std::u16string Path;
  std::uint32_t Error = 0;
};
using TRollResult = std::optional<TRollFailure>;

// Makes the record's change: a folder made, a staged file moved to its path (a replaced file
// first put aside), a file or folder stamped. What is done already stays done: a staged file
// that is gone has been placed, and a path that holds the file the record leaves there needs
// nothing more. Times and restore records need nothing here (see install_recovery.h).
TRollResult RollForward(std::u16string_view installDir, const TJournalRecord& record,
                        TRollMode mode);

// Takes the record's change back: a placed file moved back to its staged name (a legacy record's
// removed), an old file put back, a stamped file given its old times, a made folder removed when
// it is empty. Only what provably is the attempt's is moved; a path left empty gets its old file
// back, its folders made again if the user removed them; the old file of a path that the user
// has filled since, or that a file of the user's stands above, is not needed any more and goes.
// `alsoWritten` are further files the attempt may have left at the path (the later records of it
// in a legacy journal).
TRollResult RollBack(std::u16string_view installDir, const TJournalRecord& record,
                     const std::vector<TFileIdentity>& alsoWritten, TRollMode mode);

// RollBack of `records`, newest first; the records that reach one path are one target, taken
// back by its first record knowing every file the later ones may have left, so that an old file
// once back is never taken for the attempt's. What cannot be taken back now does not stop the
// rest; the first such failure is the result.
TRollResult RollBackRecords(std::u16string_view installDir,
                            const std::vector<TJournalRecord>& records, TRollMode mode);

}  // namespace zelkupd
