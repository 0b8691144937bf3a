#include "update/extract.h"

#include "runtime/files.h"
#include "zip/zip_file.h"

namespace zelkupd {
namespace {

// Every check the writing pass would make, made first: a damaged or hostile archive is refused
// before anything of the installation is replaced.
void VerifyEntries(TZipFile& zip, const std::u16string& destDir) {
  const int count = zip.GetFileCount();
  for (int i = 0; i < count; ++i) {
    zip.Verify(i, destDir, true);
  }
}

// The entry's time is stamped through the name as stored, "/" and all: Windows takes either
// separator.
void InstallEntries(TZipFile& zip, const std::u16string& destDir) {
  const int count = zip.GetFileCount();
  for (int i = 0; i < count; ++i) {
    zip.Extract(i, destDir, true);
    const TSystemTime stamp = DosDateTimeToSystemTime(zip.GetFileInfo(i).ModifiedDateTime);
    ApplyFileTimes(destDir + zip.GetFileName(i), stamp);
  }
}

}  // namespace

bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath,
                    const std::u16string& destDir) {
  try {
    TZipFile zip;
    zip.Open(archivePath, TZipMode::zmRead);
    VerifyEntries(zip, destDir);
    InstallEntries(zip, destDir);
    zip.Close();
    return true;
  } catch (...) {
    // The cause stays unshown: the run retries, and the user can do nothing with the detail.
    ctx.Console.PrintLine(archivePath + u" の展開に失敗しました.");
    return false;
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

void ApplyFileTimes(const std::u16string& path, const TSystemTime& localTime) {
  const TFileTime stamp = LocalToUtcFileTime(localTime);
  SetFileTimes(path, stamp, stamp);
}

}  // namespace zelkupd
