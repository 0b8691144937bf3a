#include "update/install_recovery.h"

#include "ini/atomic_file.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"

namespace zelkupd {
namespace {

std::u16string FullPath(const std::u16string& installDir, const std::u16string& path) {
  return path.empty() ? ExcludeTrailingBackslash(installDir) : installDir + path;
}

bool RemoveIfThere(const std::u16string& path) {
  return !FileExists(path) || RemoveFile(path);
}

// Whether what stands at the path is the attempt's file, so that the undo may take it away.
bool IsAttemptsFile(const TJournalRecord& record, const TFoundFile& found) {
  return record.Identified ? LooksWritten(found, record.Written) : !found.IsDirectory;
}

// The old file goes back where nothing or the attempt's own file stands; over a file changed
// since, it is not needed any more.
bool UndoBackup(const std::u16string& installDir, const TJournalRecord& record) {
  const std::u16string backup = BackupFilePath(installDir, record.Backup);
  if (!FileExists(backup)) {
    return true;
  }
  const std::u16string path = FullPath(installDir, record.Path);
  TFoundFile found;
  const bool taken = FindFile(path, found);
  if (taken && !IsAttemptsFile(record, found)) {
    return RemoveFile(backup);
  }
  if (!(taken ? MoveFileOver(backup, path) : RenameFile(backup, path))) {
    return false;
  }
  // Windows hands a name's old creation time to whatever takes the name within seconds
  // (tunnelling), so the file that comes back would wear the removed new file's time.
  SetFileTimes(path, record.Creation, record.LastWrite);
  return true;
}

// False when the change could not be put back; what is already back is left alone.
bool Undo(const std::u16string& installDir, const TJournalRecord& record) {
  const std::u16string path = FullPath(installDir, record.Path);
  switch (record.Action) {
    case TJournalAction::Backup:
      return UndoBackup(installDir, record);
    case TJournalAction::File: {
      TFoundFile found;
      return !FindFile(path, found) || !IsAttemptsFile(record, found) || RemoveFile(path);
    }
    case TJournalAction::Folder:
      return !DirectoryExists(path) || RemoveDir(path) || !ListDirectory(path).empty();
    case TJournalAction::Times:
    case TJournalAction::Settled:
      return true;
  }
  return true;
}

// Only once nothing in the folder is needed any more: everything in it is the program's own.
void RemoveBackupFolder(const std::u16string& installDir) {
  const std::u16string folder = BackupFolderPath(installDir);
  for (const TDirEntry& entry : ListDirectory(folder)) {
    if (!entry.IsDirectory) {
      RemoveFile(folder + u"\\" + entry.Name);
    }
  }
  RemoveDir(folder);
}

// Marks a journal whose pending records are all undone as settled before it is let go of, so that
// a run that opens it in the moment before it is removed finds nothing left to undo. Not forced:
// should the line be lost, undoing the records again changes nothing.
void MarkSettled(TFileStream& journal) {
  const std::string line = FormatJournalRecord({.Action = TJournalAction::Settled});
  try {
    journal.WriteBuffer(line.data(), line.size());
  } catch (const EStreamError&) {
    // The records are undone all the same; the journal is removed next.
  }
}

}  // namespace

TSettled SettleRecords(const std::u16string& installDir, const std::vector<TJournalRecord>& records,
                       std::unique_ptr<TFileStream> journal) {
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
  if (result.HadPending) {
    MarkSettled(*journal);
  }
  for (std::size_t i = 0; i < pendingStart; ++i) {
    if (records[i].Action == TJournalAction::Backup &&
        !RemoveIfThere(BackupFilePath(installDir, records[i].Backup))) {
      result.Kept.push_back(records[i]);
    }
  }
  journal.reset();
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
  const std::u16string path = JournalPath(installDir);
  if (!FileExists(path)) {
    RemoveBackupFolder(installDir);
    return {};
  }
  std::unique_ptr<TFileStream> journal;
  try {
    journal = std::make_unique<TFileStream>(path, kOpenReadWriteExclusive);
  } catch (const EStreamError&) {
    if (IsSharingViolation(LastOsError())) {
      return {.Held = true};
    }
    throw;
  }
  std::string bytes(static_cast<std::size_t>(journal->Size()), '\0');
  journal->ReadBuffer(bytes.data(), bytes.size());
  return SettleRecords(installDir, ParseJournal(bytes), std::move(journal));
}

}  // namespace zelkupd
