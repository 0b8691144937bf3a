#include "update/extract.h"

#include <memory>
#include <vector>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/text.h"
#include "update/install_journal.h"
#include "update/install_recovery.h"
#include "update/install_transaction.h"
#include "zip/buffered_read_stream.h"
#include "zip/zip_file.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

// Where each entry goes, relative to the installation folder, with the size and time it is to
// have, for every entry before anything is changed: a hostile name, an invalid date or a name
// inside the backup folder refuses the archive while the installation is untouched.
std::vector<TInstallTransaction::TTarget> PlanTargets(const TZipFile& zip,
                                                      const std::u16string& installDir) {
  std::vector<TInstallTransaction::TTarget> targets;
  const int count = zip.GetFileCount();
  targets.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    std::u16string target =
        zip.PrepareOutput(i, installDir, true).FilePath.substr(installDir.size());
    if (UpperCase(std::u16string_view(target).substr(0, target.find(u'\\'))) == kBackupFolderName) {
      throw EZipException(texts::UnsafeEntryNameText(zip.GetFileName(i)));
    }
    const TZipHeader info = zip.GetFileInfo(i);
    targets.push_back({.Path = std::move(target),
                       .Stamp = LocalToUtcFileTime(DosDateTimeToSystemTime(info.ModifiedDateTime)),
                       .Size = info.UncompressedSize});
  }
  return targets;
}

// Each file is written whole and forced to the disk before it takes its place; the entry's time
// is stamped again once it has: taking a name that was just freed gives a file the old one's
// creation time.
void InstallEntry(TZipFile& zip, TInstallTransaction& install, int index) {
  const auto step = static_cast<std::size_t>(index);
  install.MakeFolders(step);
  if (install.IsFolder(step)) {
    // Nothing to write, but the entry's local header and method are checked as extracting it
    // checks them.
    TZipHeader localHeader;
    zip.Read(index, localHeader);
  } else {
    {
      TFileStream incoming(install.IncomingPath(), kCreateReadWriteExclusive);
      zip.ExtractTo(index, incoming);
      if (!incoming.FlushToDisk()) {
        throw EWriteError(texts::kStreamWriteError);
      }
    }
    install.PlaceFile(step);
  }
  install.StampTarget(step);
}

}  // namespace

bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath,
                    const std::u16string& destDir) {
  std::unique_ptr<TFileStream> archive;
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
  try {
    archive.SetPosition(0);
    TBufferedReadStream buffer(archive);
    TZipFile zip;
    zip.Open(buffer, TZipMode::zmRead);
    const std::u16string installDir = IncludeTrailingBackslash(destDir);
    TInstallTransaction install(installDir);
    install.Begin(PlanTargets(zip, installDir));
    for (int i = 0; i < zip.GetFileCount(); ++i) {
      InstallEntry(zip, install, i);
    }
    install.Commit();
    zip.Close();
    return true;
  } catch (...) {
    // The cause stays unshown: the run retries, and the user can do nothing with the detail.
    ctx.Console.PrintLine(archivePath + u" の展開に失敗しました.");
    return false;
  }
}

void RecoverInstallation(TRunContext& ctx, const std::u16string& installDir) {
  TSettled settled;
  try {
    settled = SettleLeftoverJournal(IncludeTrailingBackslash(installDir));
  } catch (...) {
    settled = {.HadPending = true, .Undone = false};
  }
  if (settled.HadPending) {
    ctx.Console.PrintLine(settled.Undone ? u"前回中断したアップデートを元に戻しました."
                                         : u"前回中断したアップデートを元に戻せませんでした.");
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
