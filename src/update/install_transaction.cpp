#include "update/install_transaction.h"

#include <algorithm>
#include <charconv>

#include "ini/atomic_file.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/text.h"
#include "update/install_recovery.h"

namespace zelkupd {
namespace {

std::u16string ParentOf(const std::u16string& path) {
  const std::size_t separator = path.rfind(u'\\');
  return separator == std::u16string::npos ? std::u16string() : path.substr(0, separator);
}

// A backup file's number from its name; 0 for any other name.
std::uint32_t BackupNumber(const std::u16string& name) {
  const std::string digits = Utf16ToUtf8(name);
  std::uint32_t number = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return result.ec == std::errc() && result.ptr == digits.data() + digits.size() ? number : 0;
}

[[noreturn]] void RaiseCreateError(const std::u16string& path) {
  const std::uint32_t error = LastOsError();
  throw EFCreateError(FileCreateErrorText(ExpandFileName(path), error));
}

}  // namespace

TInstallTransaction::TInstallTransaction(std::u16string installDir)
    : FInstallDir(std::move(installDir)) {}

// Never raises: a failure here leaves its records in the journal for the next run.
TInstallTransaction::~TInstallTransaction() {
  if (FCommitted) {
    return;
  }
  try {
    if (!FJournal) {
      if (FMadeBackupFolder) {
        RemoveDir(BackupFolderPath(FInstallDir));
      }
      return;
    }
    FJournal.reset();
    SettleRecords(FInstallDir, FRecords);
  } catch (...) {
    return;
  }
}

std::u16string TInstallTransaction::FullPath(std::u16string_view path) const {
  return path.empty() ? ExcludeTrailingBackslash(FInstallDir) : FInstallDir + std::u16string(path);
}

void TInstallTransaction::Begin() {
  ForceDirectories(FInstallDir);
  const TSettled leftover = SettleLeftoverJournal(FInstallDir);
  // Making and removing the backup folder moves the installation folder's time.
  Touch(u"").Disturbed = true;
  const std::u16string folder = BackupFolderPath(FInstallDir);
  if (!DirectoryExists(folder)) {
    if (!CreateDir(folder)) {
      RaiseCreateError(folder);
    }
    FMadeBackupFolder = true;
  }
  OpenJournal(leftover.Kept);
  WriteAhead();
}

// A journal that an earlier attempt could not settle is carried on: its records stay in front,
// and are undone together with this attempt's should this one fail too. It is first rewritten
// whole, in one atomic replacement, so that no torn line of it hides the lines appended now.
void TInstallTransaction::OpenJournal(const std::vector<TJournalRecord>& kept) {
  FRecords.insert(FRecords.begin(), kept.begin(), kept.end());
  for (const TJournalRecord& record : kept) {
    FNextBackup = std::max(FNextBackup, record.Backup + 1);
  }
  if (!FMadeBackupFolder) {
    for (const TDirEntry& entry : ListDirectory(BackupFolderPath(FInstallDir))) {
      FNextBackup = std::max(FNextBackup, BackupNumber(entry.Name) + 1);
    }
  }
  const std::u16string journal = JournalPath(FInstallDir);
  if (kept.empty()) {
    FJournal = std::make_unique<TFileStream>(journal, kCreateWriteExclusive);
    FUnwritten.insert(0, FormatJournal({}));
    return;
  }
  ReplaceFileContent(journal, FormatJournal(kept));
  FJournal = std::make_unique<TFileStream>(journal, kOpenWriteExclusive);
  FJournal->Seek(0, TSeekOrigin::End);
}

TInstallTransaction::TFolder& TInstallTransaction::Touch(const std::u16string& folder) {
  const auto [place, added] = FFolders.try_emplace(folder);
  TFolder& state = place->second;
  if (!added) {
    return state;
  }
  state.Order = static_cast<int>(FFolders.size());
  state.Path = FullPath(folder);
  TFoundFile found;
  if (FindFile(state.Path, found) && found.IsDirectory) {
    state.Existed = true;
    state.Creation = found.Creation;
    state.LastWrite = found.LastWrite;
    Record({.Action = TJournalAction::Times,
            .Path = folder,
            .Creation = found.Creation,
            .LastWrite = found.LastWrite});
  }
  return state;
}

void TInstallTransaction::Record(TJournalRecord record) {
  FUnwritten += FormatJournalRecord(record);
  FRecords.push_back(std::move(record));
}

// Everything recorded so far reaches the disk before the change it announces begins.
void TInstallTransaction::WriteAhead() {
  if (FUnwritten.empty()) {
    return;
  }
  FJournal->WriteBuffer(FUnwritten.data(), FUnwritten.size());
  FUnwritten.clear();
  if (!FJournal->FlushToDisk()) {
    throw EWriteError(texts::kStreamWriteError);
  }
}

std::uint32_t TInstallTransaction::NextBackupNumber() {
  return FNextBackup++;
}

void TInstallTransaction::MakeFolders(std::u16string_view folder) {
  if (folder.empty()) {
    return;
  }
  for (std::size_t end = folder.find(u'\\');; end = folder.find(u'\\', end + 1)) {
    const std::u16string prefix(folder.substr(0, end));
    if (!FKnownFolders.contains(prefix)) {
      FKnownFolders.insert(prefix);
      TFoundFile found;
      if (FindFile(FullPath(prefix), found)) {
        if (!found.IsDirectory) {
          return;
        }
      } else {
        Touch(ParentOf(prefix)).Added = true;
        TFolder created;
        created.Order = static_cast<int>(FFolders.size()) + 1;
        created.Path = FullPath(prefix);
        FFolders.try_emplace(prefix, created);
        Record({.Action = TJournalAction::Folder, .Path = prefix});
        WriteAhead();
        CreateDir(created.Path);
      }
    }
    if (end == std::u16string_view::npos) {
      return;
    }
  }
}

std::u16string TInstallTransaction::MakeRoomForFile(std::u16string_view file) {
  const std::u16string relative(file);
  const std::u16string parent = ParentOf(relative);
  MakeFolders(parent);
  TFolder& folder = Touch(parent);
  const std::u16string target = FullPath(relative);
  TFoundFile found;
  if (!FindFile(target, found)) {
    folder.Added = true;
    Record({.Action = TJournalAction::File, .Path = relative});
    WriteAhead();
    return target;
  }
  if (found.IsDirectory) {
    return target;
  }
  const std::u16string stored = (parent.empty() ? parent : parent + u"\\") + found.Name;
  const std::u16string path = FullPath(stored);
  // Renaming succeeds where overwriting would not (a running program's image, a read-only
  // file), and such a file must fail the attempt as it always has.
  { const TFileStream probe(path, kOpenWriteExclusive); }
  const std::uint32_t number = NextBackupNumber();
  Record({.Action = TJournalAction::Backup,
          .Path = stored,
          .Backup = number,
          .Creation = found.Creation,
          .LastWrite = found.LastWrite});
  WriteAhead();
  if (!RenameFile(path, BackupFilePath(FInstallDir, number))) {
    RaiseCreateError(path);
  }
  folder.Disturbed = true;
  return path;
}

void TInstallTransaction::BeforeFolderStamp(std::u16string_view folder, std::u16string stampPath,
                                            TFileTime stamp) {
  TFolder& state = Touch(std::u16string(folder));
  WriteAhead();
  state.Stamped = true;
  state.Added = false;
  state.Disturbed = folder.empty();
  state.Path = std::move(stampPath);
  state.Creation = stamp;
  state.LastWrite = stamp;
}

// The "settled" line joins the records only once it is on the disk: should writing it fail, the
// attempt is undone, and a settled record there would make the undo take the backups for
// leftovers to remove.
void TInstallTransaction::Commit() {
  const TJournalRecord settled{.Action = TJournalAction::Settled};
  FUnwritten += FormatJournalRecord(settled);
  WriteAhead();
  FRecords.push_back(settled);
  FCommitted = true;
  FJournal.reset();
  SettleRecords(FInstallDir, FRecords);
  RestoreFolderTimes();
}

// Overwriting in place moves a folder's time only when a name is added to it; putting a file
// aside and writing its successor moves it too. So a folder that this attempt only replaced files
// in gets back the time it would have kept: its stamp, or the time it had.
void TInstallTransaction::RestoreFolderTimes() {
  std::vector<const TFolder*> folders;
  for (const auto& [name, state] : FFolders) {
    if ((state.Existed || state.Stamped) && state.Disturbed && !state.Added) {
      folders.push_back(&state);
    }
  }
  std::sort(folders.begin(), folders.end(),
            [](const TFolder* a, const TFolder* b) { return a->Order > b->Order; });
  for (const TFolder* state : folders) {
    SetFileTimes(state->Path, state->Creation, state->LastWrite);
  }
}

}  // namespace zelkupd
