// One installation attempt, all or nothing. Under the one-attempt lock, taken before anything
// else and held to its end: what an earlier attempt left is settled; every entry is planned;
// every new file is staged in the install's own folder and, all written, forced to the disk;
// the journal of every change is written whole, forced and put at its name; only then is the
// installation changed, each staged file moved to its path (a replaced one first put aside), in
// the archive's order; last "settled" is written and the install's folder cleared.
//
// What it promises:
// - A failure or a cut before the journal is at its name leaves the installation as it was, and
//   the next start or attempt only removes the install's own files.
// - Once it is, the attempt can always be finished: a cut from then on is finished by the next
//   start or attempt ("前回中断したアップデートを完了しました."), or, should that not be possible
//   then, undone.
// - In process, a failure while the installation changes undoes just the records that ran.
//   Once every record is in place, nothing is undone: the attempt has succeeded, even when
//   writing "settled" fails.
// - A file whose bytes the release does not change is not written: it only gets the entry's time,
//   and an undo gives it its old times back.
// - No file at a path that holds neither the file the plan found there nor the release's is
//   ever moved or removed after a cut; in process, such a path fails the attempt.
//
// What it costs, per entry: one look-up of its target; an existing target opened, read and
// compared as its entry is read; a changed or new file written once, written out of the system's
// cache once in a pass after all are written, renamed into place (a replaced file also renamed
// aside, stamped again and, after the commit, removed); an unchanged file only stamped. Per
// attempt: one flush of the disk's cache, the journal written and forced, moved to its name,
// appended to and forced once more, and removed; the install's folder and its lock made and
// removed.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/datetime.h"
#include "runtime/errors.h"
#include "zip/zip_file.h"

namespace zelkupd {

// The time that an entry's files and folders get, from the entry's DOS date-time.
using TEntryStamp = TFileTime (*)(std::uint32_t dosDateTime);

// The updater's own files, full paths: the running executable, which can be read, stamped and
// renamed but neither written nor removed while it runs, and its settings file, which is the
// user's once it exists.
struct TOwnFiles {
  std::u16string Executable;
  std::u16string Settings;
};

// Another run's attempt or settling is under way: it holds the one-attempt lock.
class EInstallHeld : public EFCreateError {
 public:
  using EFCreateError::EFCreateError;
  const char* ClassName() const override { return "EInstallHeld"; }
};

// Installs every entry of `zip` below `installDir` (which ends in "\"), each with the time
// `stamp` gives its date-time, which must be valid for every entry. Raises what failed, the
// installation being then as it was before the attempt, or as far as what could not be undone now
// allows, the journal keeping that for the next start. Another run's attempt under way fails it
// with EInstallHeld, as a file in use, before anything is looked at.
//
// The running executable is a target like any other: where the release changes it, the running
// file is put aside at its placing, as a renamed file goes on running, and once the attempt is
// settled it is left as <n>.DEL for the next start, which runs the new one, to remove. An entry
// that names the settings file is installed only where no such file stands: the user's stays
// byte for byte, as a package manager keeps a configuration file the user has.
void InstallArchive(TZipFile& zip, TEntryStamp stamp, const std::u16string& installDir,
                    const TOwnFiles& own);

}  // namespace zelkupd
