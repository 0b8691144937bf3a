#include "update/install_recovery.h"

#include "ini/atomic_file.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/replacement_file.h"
#include "runtime/stream.h"

namespace zelkupd {
namespace {

std::u16string FullPath(const std::u16string& installDir, const std::u16string& path) {
  return path.empty() ? ExcludeTrailingBackslash(installDir) : installDir + path;
}

// False when the change could not be put back; what is already back is left alone.
bool Undo(const std::u16string& installDir, const TJournalRecord& record) {
  const std::u16string path = FullPath(installDir, record.Path);
  switch (record.Action) {
    case TJournalAction::Backup: {
      const std::u16string backup = BackupFilePath(installDir, record.Backup);
      if (!FileExists(backup)) {
        return true;
      }
      if (!MoveFileOver(backup, path)) {
        return false;
      }
      // Windows hands a name's old creation time to whatever takes the name within seconds
      // (tunnelling), so the file that comes back would wear the removed new file's time.
      SetFileTimes(path, record.Creation, record.LastWrite);
      return true;
    }
    case TJournalAction::File:
      return !FileExists(path) || RemoveFile(path);
    case TJournalAction::Folder:
      return !DirectoryExists(path) || RemoveDir(path);
    case TJournalAction::Times:
    case TJournalAction::Settled:
      return true;
  }
  return true;
}

bool RemoveIfThere(const std::u16string& path) {
  return !FileExists(path) || RemoveFile(path);
}

// The journal goes only after every backup: a backup folder without a journal holds nothing of
// value. A journal that cannot go keeps its records, which only repeat what is done.
void RemoveBackupFolder(const std::u16string& installDir) {
  const std::u16string journal = JournalPath(installDir);
  if (RemoveIfThere(journal) && RemoveIfThere(ReplacementFileName(journal))) {
    RemoveDir(BackupFolderPath(installDir));
  }
}

}  // namespace

TSettled SettleRecords(const std::u16string& installDir,
                       const std::vector<TJournalRecord>& records) {
  std::size_t pendingStart = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].Action == TJournalAction::Settled) {
      pendingStart = i + 1;
    }
  }
  TSettled result;
  result.HadPending = pendingStart < records.size();
  for (std::size_t i = records.size(); i > pendingStart; --i) {
    result.Undone = Undo(installDir, records[i - 1]) && result.Undone;
  }
  if (!result.Undone) {
    result.Kept = records;
    return result;
  }
  for (std::size_t i = 0; i < pendingStart; ++i) {
    if (records[i].Action == TJournalAction::Backup &&
        !RemoveIfThere(BackupFilePath(installDir, records[i].Backup))) {
      result.Kept.push_back(records[i]);
    }
  }
  if (result.Kept.empty()) {
    RemoveBackupFolder(installDir);
  } else {
    result.Kept.push_back({.Action = TJournalAction::Settled});
    try {
      ReplaceFileContent(JournalPath(installDir), FormatJournal(result.Kept));
    } catch (...) {
      // The old journal stays; settling it again only repeats what is done.
      result.Kept = records;
    }
  }
  // Last, once the backup folder has gone from the installation folder; newest first, so a
  // folder met twice gets the times it had before the attempt.
  for (std::size_t i = records.size(); i > pendingStart; --i) {
    const TJournalRecord& record = records[i - 1];
    if (record.Action == TJournalAction::Times) {
      SetFileTimes(FullPath(installDir, record.Path), record.Creation, record.LastWrite);
    }
  }
  return result;
}

TSettled SettleLeftoverJournal(const std::u16string& installDir) {
  if (!DirectoryExists(BackupFolderPath(installDir))) {
    return {};
  }
  const std::u16string journal = JournalPath(installDir);
  if (!FileExists(journal)) {
    RemoveBackupFolder(installDir);
    return {};
  }
  return SettleRecords(installDir, ParseJournal(ReadWholeFile(journal, kOpenReadExclusive)));
}

}  // namespace zelkupd
