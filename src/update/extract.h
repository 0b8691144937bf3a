// Installing the archive: every entry extracted into the target folder in archive order and
// stamped with its stored local time, all or nothing (install/install_attempt.h).
#pragma once

#include <string>

#include "runtime/datetime.h"
#include "runtime/stream.h"
#include "update/run_context.h"

namespace zelkupd {

// True when every entry was extracted and stamped; else prints
// ArchivePath + " の展開に失敗しました." and returns false. Never raises. Each call is one
// all-or-nothing attempt: a failure at any entry leaves the installation as it was before the
// failure line is printed. Every entry name and time is checked before anything is changed; a
// name inside the install's own folder (ZELKUPD.BAK, in any case) is refused as unsafe. The
// running updater and its settings file are the install's own files (install_attempt.h). Sets
// InstallHeld when the attempt met another run's install under way.
bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath,
                    const std::u16string& destDir);
// As above, reading the archive from `archive` from its start: the caller holds it open from the
// moment its bytes were verified, so that what is installed is what was verified. `archivePath`
// only names it in the failure line.
bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath, TStream& archive,
                    const std::u16string& destDir);

// At start-up, before anything else: settles what an earlier run left in the installation
// folder. An attempt that a crash or a power cut interrupted is finished
// ("前回中断したアップデートを完了しました.") or, when that cannot be done now, undone
// ("前回中断したアップデートを元に戻しました."). One that can be neither now prints
// "前回中断したアップデートを元に戻せませんでした." and a second line naming the path that holds it
// and the system's message, so that the user can act; every later start and attempt tries again,
// and every attempt fails while it stays. One whose journal someone removed prints the same
// lines, naming the journal; the files it had put aside are kept, and every start names their
// folder in the same way while they are there, attempts going ahead. Another run's attempt under
// way prints nothing, and leftovers of an attempt that ended are removed silently.
void RecoverInstallation(TRunContext& ctx, const std::u16string& installDir);

// The local date-time as a UTC FILETIME, converted with the bias in force now; zero in both
// halves when either conversion fails, whatever the platform left in its result.
TFileTime LocalToUtcFileTime(const TSystemTime& localTime);

}  // namespace zelkupd
