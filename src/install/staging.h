// Staging: each new file written whole under the install's own name in its folder, compared as it
// is written with the file it would replace, so that a file whose bytes the release leaves as
// they are is not written at all; then every staged file forced to the disk in one pass, once all
// are written. Nothing of the installation changes here: a failure or a cut leaves it as it was,
// and only the install's own folder holds what was staged.
#pragma once

#include "install/install_plan.h"
#include "zip/zip_file.h"

namespace zelkupd {

// Reads every entry of the archive in its order and checks it as extracting it checks it (its
// local header, its method, its data's CRC-32 and size), so that a damaged archive fails here. The
// last entry of each file target is staged as <n>.NEW with the entry's time as both its times and
// the hidden and system marks of the file it replaces. An existing target is opened for writing
// without sharing while its entry is read, so that a file in use or read-only fails the attempt
// as overwriting it would (the running updater's own file only for reading), and its bytes are
// compared: the plan learns whether it is replaced or only stamped, and what the old file is (its
// CRC-32 is the entry's while the bytes match, and is taken from the old bytes only once they
// differ). An entry of the user's settings file is only checked. Raises what fails.
void StageFiles(TZipFile& zip, TInstallPlan& plan);

// Forces every staged file to the disk once all are written: each written out by its name, then
// the disk's cache flushed once (WriteFileOut, FlushDiskCache). Raises EWriteError when that
// fails.
void ForceStagedFiles(const TInstallPlan& plan);

}  // namespace zelkupd
