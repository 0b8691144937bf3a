#include "update/install_recovery.h"

#include <algorithm>
#include <map>

#include "ini/atomic_file.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"

namespace zelkupd {
namespace {

bool RemoveIfThere(const std::u16string& path) {
  return !FileExists(path) || RemoveFile(path);
}

// The pending records that reach one path are one target: the first puts the old file aside or
// adds the file, the later ones write the attempt's file there again. Only the first one undoes
// anything, knowing every file the attempt may have left there; the others would otherwise take
// the old file for the attempt's once it is back, should it look like one of them. A later
// backup of the path (an earlier version's journal carrying a second attempt) begins a new one.
class TUndo {
 public:
  TUndo(const std::u16string& installDir, const std::vector<TJournalRecord>& records,
        std::size_t pendingStart)
      : FInstallDir(installDir), FRecords(records), FIsAgain(records.size(), false) {
    std::map<std::u16string, std::size_t> heads;
    for (std::size_t i = pendingStart; i < records.size(); ++i) {
      const TJournalRecord& record = records[i];
      if (record.Action == TJournalAction::Backup) {
        heads.insert_or_assign(record.Path, i);
      } else if (record.Action == TJournalAction::File) {
        const auto [head, first] = heads.try_emplace(record.Path, i);
        if (!first) {
          FAgain.emplace(head->second, i);
          FIsAgain[i] = true;
        }
      }
    }
  }

  // False when the change could not be put back; what is already back is left alone.
  bool Run(std::size_t index) const {
    const TJournalRecord& record = FRecords[index];
    const std::u16string path = InstalledPath(FInstallDir, record.Path);
    switch (record.Action) {
      case TJournalAction::Backup:
        return UndoBackup(index);
      case TJournalAction::File: {
        TFoundFile found;
        return FIsAgain[index] || !FindFile(path, found) || !IsAttemptsFile(index, found) ||
               (ClearReadOnly(path) && RemoveFile(path));
      }
      case TJournalAction::Folder:
        return !DirectoryExists(path) || RemoveDir(path) || !ListDirectory(path).empty();
      case TJournalAction::Times:
      case TJournalAction::Settled:
        return true;
    }
    return true;
  }

 private:
  // Whether what stands at the path of target `head` is a file the attempt wrote there, so that
  // the undo may take it away. A record without an identity (format 1) proves nothing: what
  // stands there may be the user's, so it stays, and the installation is left a mix of versions.
  // A read-only mark set since does not make the file the user's: its content is still the
  // attempt's, and keeping it would lose the old file and fail every later attempt's trial open.
  bool IsAttemptsFile(std::size_t head, const TFoundFile& found) const {
    const auto written = [&](std::size_t record) {
      return FRecords[record].Identified && LooksWritten(found, FRecords[record].Written);
    };
    const auto [begin, end] = FAgain.equal_range(head);
    return written(head) ||
           std::any_of(begin, end, [&](const auto& again) { return written(again.second); });
  }

  // Whether a file stands where a folder of the relative path was: the user's change.
  bool FileInTheWay(std::u16string_view path) const {
    for (std::size_t at = path.find(u'\\'); at != std::u16string_view::npos;
         at = path.find(u'\\', at + 1)) {
      TFoundFile found;
      if (!FindFile(InstalledPath(FInstallDir, std::u16string(path.substr(0, at))), found)) {
        return false;
      }
      if (!found.IsDirectory) {
        return true;
      }
    }
    return false;
  }

  // The old file goes back where nothing or the attempt's own file stands, its folder made again
  // if the user removed it; over a file changed since, or a file put where its folder was, it is
  // not needed any more.
  bool UndoBackup(std::size_t index) const {
    const TJournalRecord& record = FRecords[index];
    const std::u16string backup = BackupFilePath(FInstallDir, record.Backup);
    if (!FileExists(backup)) {
      return true;
    }
    const std::u16string path = InstalledPath(FInstallDir, record.Path);
    TFoundFile found;
    const bool taken = FindFile(path, found);
    if ((taken && !IsAttemptsFile(index, found)) || (!taken && FileInTheWay(record.Path))) {
      return RemoveFile(backup);
    }
    if (!taken && !ForceDirectories(ExcludeTrailingBackslash(ExtractFilePath(path)))) {
      return false;
    }
    if (!(taken ? ClearReadOnly(path) && MoveFileOver(backup, path) : RenameFile(backup, path))) {
      return false;
    }
    // Windows hands a name's old creation time to whatever takes the name within seconds
    // (tunnelling), so the file that comes back would wear the removed new file's time.
    SetFileTimes(path, record.Creation, record.LastWrite);
    return true;
  }

  const std::u16string& FInstallDir;
  const std::vector<TJournalRecord>& FRecords;
  std::multimap<std::size_t, std::size_t> FAgain;  // the first record of a target: the later ones
  std::vector<bool> FIsAgain;                      // a later record of its target
};

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
  const TUndo undo(installDir, records, pendingStart);
  for (std::size_t i = records.size(); i > pendingStart; --i) {
    result.Undone = undo.Run(i - 1) && result.Undone;
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
    if (record.Action != TJournalAction::Times) {
      continue;
    }
    // Only a folder gets them back: a file the user put in its place keeps its own.
    const std::u16string path = InstalledPath(installDir, record.Path);
    if (DirectoryExists(path)) {
      SetFileTimes(path, record.Creation, record.LastWrite);
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
    if (!FileExists(path)) {
      // Another run settled it and removed it in the meantime: nothing was interrupted.
      return {};
    }
    throw;
  }
  std::string bytes(static_cast<std::size_t>(journal->Size()), '\0');
  journal->ReadBuffer(bytes.data(), bytes.size());
  return SettleRecords(installDir, ParseJournal(bytes), std::move(journal));
}

}  // namespace zelkupd
