#include "install/install_folder.h"

#include <algorithm>

#include "install/install_names.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/stream.h"

namespace zelkupd {

std::unique_ptr<TLockFile> TakeInstallLock(const std::u16string& installDir, bool makeFolder) {
  const std::u16string folder = BackupFolderPath(installDir);
  // Another run may remove the folder, empty, as it lets go of its lock; once more is enough,
  // for then that run is gone.
  for (int tries = 0;; ++tries) {
    if (makeFolder && !DirectoryExists(folder) && !CreateDir(folder) && !DirectoryExists(folder)) {
      RaiseLockError(folder, LastOsError());
    }
    try {
      return TLockFile::Take(LockPath(installDir));
    } catch (const EStreamError&) {
      if (tries > 0 || DirectoryExists(folder)) {
        throw;
      }
    }
  }
}

bool EmptyInstallFolder(const std::u16string& installDir) {
  const std::u16string folder = BackupFolderPath(installDir);
  bool empty = true;
  for (const TDirEntry& entry : ListDirectory(folder)) {
    if (entry.Name == u"LOCK" || entry.Name == u"JOURNAL") {
      continue;
    }
    const std::u16string path = folder + u"\\" + entry.Name;
    const bool removed = entry.IsDirectory ? ClearReadOnly(path) && RemoveDir(path)
                                           : ClearReadOnly(path) && RemoveFile(path);
    empty = removed && empty;
  }
  return empty;
}

std::uint32_t NextInstallNumber(const std::u16string& installDir) {
  std::uint32_t next = 1;
  for (const TDirEntry& entry : ListDirectory(BackupFolderPath(installDir))) {
    next = std::max(next, InstallFileNumber(entry.Name) + 1);
  }
  return next;
}

bool MarkJournalSettled(const std::u16string& installDir) {
  const std::u16string path = JournalPath(installDir);
  const std::string line = FormatJournalRecord({.Action = TJournalAction::Settled});
  try {
    ClearReadOnly(path);
    TFileStream journal(path, kOpenWriteExclusive);
    journal.Seek(0, TSeekOrigin::End);
    journal.WriteBuffer(line.data(), line.size());
    return journal.FlushToDisk();
  } catch (const EStreamError&) {
    return false;
  }
}

TRollResult RemoveJournal(const std::u16string& installDir) {
  const std::u16string path = JournalPath(installDir);
  if (!FileExists(path) || (ClearReadOnly(path) && RemoveFile(path))) {
    return std::nullopt;
  }
  return TRollFailure{path, LastOsError()};
}

void GiveFolderTimes(const std::u16string& installDir, const std::vector<TJournalRecord>& records,
                     TJournalAction action, bool installationFolder) {
  for (const TJournalRecord& record : records) {
    const std::u16string path = InstalledPath(installDir, record.Path);
    if (record.Action == action && record.Path.empty() == installationFolder &&
        DirectoryExists(path)) {
      SetFileTimes(path, record.Creation, record.LastWrite);
    }
  }
}

void LetGoOfInstallFolder(std::unique_ptr<TLockFile> lock, const std::u16string& installDir,
                          const std::vector<TJournalRecord>& records, TJournalAction action) {
  GiveFolderTimes(installDir, records, action, false);
  lock.reset();
  const std::u16string folder = BackupFolderPath(installDir);
  if (DirectoryExists(folder) && ListDirectory(folder).empty()) {
    ClearReadOnly(folder);
    RemoveDir(folder);
  }
  GiveFolderTimes(installDir, records, action, true);
}

}  // namespace zelkupd
