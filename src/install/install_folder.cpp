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

namespace {

constexpr std::u16string_view kKeptFolderName = u"KEPT";

bool IsKeptFolder(const TDirEntry& entry) {
  return entry.IsDirectory && entry.Name == kKeptFolderName;
}

// The lock, the journal and the folder of kept files are not leftovers.
bool IsLeftover(const TDirEntry& entry) {
  return entry.Name != u"LOCK" && entry.Name != u"JOURNAL" && !IsKeptFolder(entry);
}

bool RemoveLeftover(const std::u16string& path, bool isDirectory) {
  return ClearReadOnly(path) && (isDirectory ? RemoveDir(path) : RemoveFile(path));
}

}  // namespace

bool EmptyInstallFolder(const std::u16string& installDir, bool settled) {
  const std::u16string folder = BackupFolderPath(installDir);
  const std::u16string draft = JournalDraftPath(installDir);
  bool empty = true;
  bool hasDraft = false;
  for (const TDirEntry& entry : ListDirectory(folder)) {
    const std::u16string path = folder + u"\\" + entry.Name;
    if (!IsLeftover(entry)) {
      continue;
    }
    if (path == draft) {
      hasDraft = true;
      continue;
    }
    if (RemoveLeftover(path, entry.IsDirectory) || IsDeletableFileName(entry.Name)) {
      continue;
    }
    const std::uint32_t number = InstallFileNumber(entry.Name);
    const bool renamed = settled && !entry.IsDirectory && number != 0 &&
                         RenameFile(path, DeletablePath(installDir, number));
    empty = renamed && empty;
  }
  // The draft goes only once nothing else is left: staged files without it would be taken for an
  // attempt whose journal someone removed.
  return empty && (!hasDraft || RemoveLeftover(draft, false));
}

std::uint32_t NextInstallNumber(const std::u16string& installDir) {
  std::uint32_t next = 1;
  for (const std::u16string& folder : {BackupFolderPath(installDir), KeptFolderPath(installDir)}) {
    for (const TDirEntry& entry : ListDirectory(folder)) {
      next = std::max(next, InstallFileNumber(entry.Name) + 1);
    }
  }
  return next;
}

TRollResult KeepPutAsideFiles(const std::u16string& installDir) {
  const std::u16string folder = BackupFolderPath(installDir);
  const std::u16string kept = KeptFolderPath(installDir);
  TRollResult first;
  for (const TDirEntry& entry : ListDirectory(folder)) {
    const std::u16string path = folder + u"\\" + entry.Name;
    if (entry.IsDirectory || !IsLeftover(entry) || path == JournalDraftPath(installDir) ||
        IsStagedFileName(entry.Name) || IsDeletableFileName(entry.Name)) {
      continue;
    }
    if ((!DirectoryExists(kept) && !CreateDir(kept)) ||
        !RenameFile(path, kept + u"\\" + entry.Name)) {
      if (!first) {
        first = TRollFailure{path, LastOsError()};
      }
    }
  }
  return first;
}

bool HasKeptFiles(const std::u16string& installDir) {
  const std::u16string kept = KeptFolderPath(installDir);
  if (!DirectoryExists(kept)) {
    return false;
  }
  if (!ListDirectory(kept).empty()) {
    return true;
  }
  ClearReadOnly(kept);
  RemoveDir(kept);
  return false;
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

TRollResult RetireJournal(const std::u16string& installDir) {
  const std::u16string path = JournalPath(installDir);
  if (!FileExists(path) ||
      (ClearReadOnly(path) && MoveFileOver(path, JournalDraftPath(installDir)))) {
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
