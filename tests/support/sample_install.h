// The installation and the release archive that the installation tests update: files the archive
// replaces, adds and leaves alone, an existing folder it stamps, new folders, nested ones too.
#pragma once

#include <string_view>

#include "runtime/datetime.h"
#include "support/zip_builder.h"

namespace zelkupd::test {

// The time every file and folder of the old installation carries.
TFileTime OldInstallationTime();

// Writes the old installation into the folder (created if need be), all at OldInstallationTime.
void WriteOldInstallation(std::u16string_view folder);

inline constexpr int kReleaseEntries = 8;

// The release: ZELK.EXE, doc/, doc/manual.txt, plugins/, plugins/a.dll, lib/x/y.dat,
// readme.txt, NEW.TXT in this order. File entry `corruptEntry` (when not -1) has a wrong CRC-32, so
// an attempt fails there after writing it.
TZipBuilder Release(int corruptEntry = -1);

}  // namespace zelkupd::test
