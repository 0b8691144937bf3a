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
    // Never raises: what could not be put back stays in the journal for the next start.
  }
}

std::u16string TInstallTransaction::FullPath(std::u16string_view path) const {
  return path.empty() ? ExcludeTrailingBackslash(FInstallDir) : FInstallDir + std::u16string(path);
}

void TInstallTransaction::Begin(const std::vector<std::u16string>& targets) {
  ForceDirectories(FInstallDir);
  const TSettled leftover = SettleLeftoverJournal(FInstallDir);
  for (const TJournalRecord& record : leftover.Kept) {
    FNextBackup = std::max(FNextBackup, record.Backup + 1);
  }
  const std::u16string folder = BackupFolderPath(FInstallDir);
  for (const TDirEntry& entry : ListDirectory(folder)) {
    FNextBackup = std::max(FNextBackup, BackupNumber(entry.Name) + 1);
  }
  // Making and removing the backup folder moves the installation folder's time.
  Folder(u"").Disturbed = true;
  for (const std::u16string& target : targets) {
    FSteps.push_back(PlanStep(target));
  }
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

// Each folder is looked up once; an existing one has its times recorded the first time.
TInstallTransaction::TFolder& TInstallTransaction::Folder(const std::u16string& path) {
  const auto [place, added] = FFolders.try_emplace(path);
  TFolder& state = place->second;
  if (!added) {
    return state;
  }
  state.Order = static_cast<int>(FFolders.size());
  state.Path = FullPath(path);
  if (!path.empty() && Folder(ParentOf(path)).Created) {
    return state;
  }
  TFoundFile found;
  if (!FindFile(state.Path, found)) {
    return state;
  }
  if (!found.IsDirectory) {
    state.Blocked = true;
    return state;
  }
  state.Existed = true;
  state.Creation = found.Creation;
  state.LastWrite = found.LastWrite;
  Record({.Action = TJournalAction::Times,
          .Path = path,
          .Creation = found.Creation,
          .LastWrite = found.LastWrite});
  return state;
}

bool TInstallTransaction::PlanFolders(const std::u16string& folder, TStep& step) {
  if (folder.empty()) {
    return true;
  }
  for (std::size_t end = folder.find(u'\\');; end = folder.find(u'\\', end + 1)) {
    const std::u16string prefix = folder.substr(0, end);
    TFolder& state = Folder(prefix);
    if (state.Blocked) {
      return false;
    }
    if (!state.Existed && !state.Created) {
      state.Created = true;
      Record({.Action = TJournalAction::Folder, .Path = prefix});
      step.NewFolders.push_back(prefix);
    }
    if (end == std::u16string::npos) {
      return true;
    }
  }
}

// The plan looks at the disk as it is before the attempt: a path recorded as a new file or folder
// had nothing there, so whatever stands there when the attempt is undone is the attempt's own.
TInstallTransaction::TStep TInstallTransaction::PlanStep(const std::u16string& target) {
  TStep step;
  step.IsFolder = target.empty() || target.back() == u'\\';
  step.Folder = step.IsFolder ? ExcludeTrailingBackslash(target) : ParentOf(target);
  step.Path = FullPath(step.IsFolder ? step.Folder : target);
  if (!PlanFolders(step.Folder, step) || step.IsFolder) {
    return step;
  }
  TFoundFile found;
  if (Folder(step.Folder).Created || !FindFile(step.Path, found)) {
    step.NewFile = true;
    Record({.Action = TJournalAction::File, .Path = target});
    return step;
  }
  if (found.IsDirectory) {
    return step;
  }
  const std::u16string stored =
      (step.Folder.empty() ? step.Folder : step.Folder + u"\\") + found.Name;
  step.Path = FullPath(stored);
  // Renaming succeeds where overwriting would not (a running program's image, a read-only
  // file), and such a file must fail the attempt as it always has.
  { const TFileStream probe(step.Path, kOpenWriteExclusive); }
  step.Backup = FNextBackup++;
  Record({.Action = TJournalAction::Backup,
          .Path = stored,
          .Backup = step.Backup,
          .Creation = found.Creation,
          .LastWrite = found.LastWrite});
  return step;
}

void TInstallTransaction::Record(TJournalRecord record) {
  FUnwritten += FormatJournalRecord(record);
  FRecords.push_back(std::move(record));
}

// Everything recorded so far reaches the disk before the changes it announces begin.
void TInstallTransaction::WriteAhead() {
  FJournal->WriteBuffer(FUnwritten.data(), FUnwritten.size());
  FUnwritten.clear();
  if (!FJournal->FlushToDisk()) {
    throw EWriteError(texts::kStreamWriteError);
  }
}

std::u16string TInstallTransaction::Prepare(std::size_t index) {
  const TStep& step = FSteps[index];
  for (const std::u16string& folder : step.NewFolders) {
    CreateDir(FullPath(folder));
    FFolders[ParentOf(folder)].Added = true;
  }
  TFolder& folder = FFolders[step.Folder];
  if (step.Backup != 0) {
    if (!RenameFile(step.Path, BackupFilePath(FInstallDir, step.Backup))) {
      RaiseCreateError(step.Path);
    }
    folder.Disturbed = true;
  } else if (step.NewFile) {
    folder.Added = true;
  }
  return step.Path;
}

void TInstallTransaction::NoteFolderStamp(std::size_t index, std::u16string stampPath,
                                          TFileTime stamp) {
  const std::u16string& name = FSteps[index].Folder;
  TFolder& state = FFolders[name];
  state.Stamped = true;
  state.Added = false;
  state.Disturbed = name.empty();
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
