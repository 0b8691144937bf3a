// Installing the archive: every entry extracted into the target folder in archive order and
// stamped with its stored local time.
#pragma once

#include <string>

#include "runtime/datetime.h"
#include "runtime/stream.h"
#include "update/run_context.h"

namespace zelkupd {

// True when every entry was extracted and stamped; else prints
// ArchivePath + " の展開に失敗しました." and returns false. Never raises. Each call is one
// all-or-nothing attempt (install_transaction.h): a failure at any entry puts the installation
// back as it was before the failure line is printed. Every entry name is checked before anything
// is changed; a name inside the backup folder (ZELKUPD.BAK, in any case) is refused as unsafe.
bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath,
                    const std::u16string& destDir);
// As above, reading the archive from `archive` from its start: the caller holds it open from the
// moment its bytes were verified, so that what is installed is what was verified. `archivePath`
// only names it in the failure line.
bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath, TStream& archive,
                    const std::u16string& destDir);

// At start-up, before anything else: settles what an earlier run left in the installation folder.
// An attempt that did not finish is undone and "前回中断したアップデートを元に戻しました." is
// printed; one that cannot be undone now prints "前回中断したアップデートを元に戻せませんでした."
// and is tried again by every later start and attempt, which fails while it stays undone. A
// journal that another run holds, or that went before it could be opened, is no interrupted
// attempt and prints nothing. Backups of a finished attempt are removed silently.
void RecoverInstallation(TRunContext& ctx, const std::u16string& installDir);

// The local date-time as a UTC FILETIME, converted with the bias in force now; zero in both
// halves when either conversion fails, whatever the platform left in its result.
TFileTime LocalToUtcFileTime(const TSystemTime& localTime);

}  // namespace zelkupd
