// Installing the archive: every entry extracted into the target folder in archive order and
// stamped with its stored local time.
#pragma once

#include <string>

#include "runtime/datetime.h"
#include "update/run_context.h"

namespace zelkupd {

// True when every entry was extracted and stamped; else prints
// ArchivePath + " の展開に失敗しました." and returns false. Never raises. A verifying pass over
// every entry (names, paths, methods, sizes, CRC-32) comes before the first file is written, so an
// archive that fails it leaves the installation as it was.
bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath,
                    const std::u16string& destDir);

// The local date-time as a UTC FILETIME, converted with the bias in force now; zero in both
// halves when either conversion fails, whatever the platform left in its result.
TFileTime LocalToUtcFileTime(const TSystemTime& localTime);

// Sets the creation and last-write times of a file or folder to the local date-time; the
// last-access time is left alone. Failures are silent: the path keeps the times it had.
void ApplyFileTimes(const std::u16string& path, const TSystemTime& localTime);

}  // namespace zelkupd
