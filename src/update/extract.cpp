#include "update/extract.h"

#include <memory>

#include "install/install_attempt.h"
#include "install/install_recovery.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "update/settings.h"
#include "zip/buffered_read_stream.h"
#include "zip/zip_file.h"

namespace zelkupd {
namespace {

// Every entry's date is checked before anything is changed: an invalid one refuses the archive
// while the installation is untouched.
void CheckEntryDates(const TZipFile& zip) {
  for (int i = 0; i < zip.GetFileCount(); ++i) {
    DosDateTimeToSystemTime(zip.GetFileFields(i).ModifiedDateTime);
  }
}

TFileTime EntryStamp(std::uint32_t dosDateTime) {
  return LocalToUtcFileTime(DosDateTimeToSystemTime(dosDateTime));
}

// The path that holds what could not be settled, and the system's message, so that the user can
// act.
void ReportUnsettled(TRunContext& ctx, const TRollFailure& failure) {
  ctx.Console.PrintLine(u"前回中断したアップデートを元に戻せませんでした.");
  ctx.Console.PrintLine(u"　→ " + failure.Path + u" : " + SysErrorMessage(failure.Error));
}

}  // namespace

bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath,
                    const std::u16string& destDir) {
  std::unique_ptr<TFileStream> archive;
  ctx.State.InstallHeld = false;
  try {
    archive = std::make_unique<TFileStream>(archivePath, kOpenReadExclusive);
  } catch (...) {
    ctx.Console.PrintLine(archivePath + u" の展開に失敗しました.");
    return false;
  }
  return ExtractArchive(ctx, archivePath, *archive, destDir);
}

bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath, TStream& archive,
                    const std::u16string& destDir) {
  ctx.State.InstallHeld = false;
  try {
    archive.SetPosition(0);
    TBufferedReadStream buffer(archive);
    TZipFile zip;
    zip.Open(buffer, TZipMode::zmRead);
    CheckEntryDates(zip);
    const std::u16string executable = ctx.System.ModuleFileName();
    InstallArchive(zip, &EntryStamp, IncludeTrailingBackslash(destDir),
                   {.Executable = executable, .Settings = SettingsFileName(executable)});
    zip.Close();
    return true;
  } catch (const EInstallHeld&) {
    ctx.State.InstallHeld = true;
    ctx.Console.PrintLine(archivePath + u" の展開に失敗しました.");
    return false;
  } catch (...) {
    // The cause stays unshown: the run retries, and the user can do nothing with the detail.
    ctx.Console.PrintLine(archivePath + u" の展開に失敗しました.");
    return false;
  }
}

void RecoverInstallation(TRunContext& ctx, const std::u16string& installDir) {
  const TSettleResult settled = SettleInstallation(IncludeTrailingBackslash(installDir));
  switch (settled.Outcome) {
    case TSettleOutcome::Completed:
      ctx.Console.PrintLine(u"前回中断したアップデートを完了しました.");
      break;
    case TSettleOutcome::Restored:
      ctx.Console.PrintLine(u"前回中断したアップデートを元に戻しました.");
      break;
    case TSettleOutcome::Stuck:
    case TSettleOutcome::Unsettled:
      ReportUnsettled(ctx, settled.Failure);
      break;
    case TSettleOutcome::Nothing:
    case TSettleOutcome::Held:
      break;
  }
  if (settled.Kept) {
    ReportUnsettled(ctx, *settled.Kept);
  }
}

TFileTime LocalToUtcFileTime(const TSystemTime& localTime) {
  TFileTime local;
  TFileTime utc;
  if (!SystemTimeToFileTime(localTime, local) || !LocalFileTimeToFileTime(local, utc)) {
    return {};
  }
  return utc;
}

}  // namespace zelkupd
