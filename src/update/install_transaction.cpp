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

void TInstallTransaction::Begin(std::vector<std::u16string> targets) {
  ForceDirectories(FInstallDir);
  const TSettled leftover = SettleLeftoverJournal(FInstallDir);
  for (const TJournalRecord& record : leftover.Kept) {
    FNextBackup = std::max(FNextBackup, record.Backup + 1);
  }
  const std::u16string folder = BackupFolderPath(FInstallDir);
  for (const TDirEntry& entry : ListDirectory(folder)) {
    FNextBackup = std::max(FNextBackup, BackupNumber(entry.Name) + 1);
  }
  // Mostly a record a target, and the folders' records besides: room enough that the vector
  // seldom has to grow, which would hold it twice for a moment.
  FRecords.reserve(leftover.Kept.size() + targets.size() + targets.size() / 8 + 16);
  FRecords = leftover.Kept;
  FSteps.reserve(targets.size());
  // Making and removing the backup folder moves the installation folder's time.
  Folder(u"").Disturbed = true;
  for (std::u16string& target : targets) {
    FSteps.push_back(PlanStep(std::move(target)));
  }
  // Room for the commit's "settled" record now, while the targets' memory is free again.
  FRecords.reserve(FRecords.size() + 1);
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
  const std::u16string journal = JournalPath(FInstallDir);
  if (kept.empty()) {
    FJournal = std::make_unique<TFileStream>(journal, kCreateWriteExclusive);
    const std::string header = FormatJournal({});
    FJournal->WriteBuffer(header.data(), header.size());
    return;
  }
  ReplaceFileContent(journal, FormatJournal(kept));
  FJournal = std::make_unique<TFileStream>(journal, kOpenWriteExclusive);
  FJournal->Seek(0, TSeekOrigin::End);
  FWritten = kept.size();
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
      step.NewFolders.push_back(&FFolders.find(prefix)->first);
    }
    if (end == std::u16string::npos) {
      return true;
    }
  }
}

// The plan looks at the disk as it is before the attempt: a path recorded as a new file or folder
// had nothing there, so whatever stands there when the attempt is undone is the attempt's own.
TInstallTransaction::TStep TInstallTransaction::PlanStep(std::u16string target) {
  TStep step;
  step.IsFolder = target.empty() || target.back() == u'\\';
  const std::u16string folder = step.IsFolder ? ExcludeTrailingBackslash(target) : ParentOf(target);
  const bool planned = PlanFolders(folder, step);
  // Behind a file that stands in the way the folder is never looked up, only named.
  step.Folder = &*FFolders.try_emplace(folder).first;
  if (!planned || step.IsFolder) {
    if (!step.IsFolder) {
      FBlockedPaths.emplace(FSteps.size(), std::move(target));
    }
    return step;
  }
  TFoundFile found;
  if (step.Folder->second.Created || !FindFile(FullPath(target), found)) {
    step.NewFile = true;
    step.Record = FRecords.size();
    Record({.Action = TJournalAction::File, .Path = std::move(target)});
    return step;
  }
  if (found.IsDirectory) {
    FBlockedPaths.emplace(FSteps.size(), std::move(target));
    return step;
  }
  std::u16string stored = (folder.empty() ? folder : folder + u"\\") + found.Name;
  // Renaming succeeds where overwriting would not (a running program's image, a read-only
  // file), and such a file must fail the attempt as it always has.
  { const TFileStream probe(FullPath(stored), kOpenWriteExclusive); }
  step.Backup = FNextBackup++;
  step.Record = FRecords.size();
  Record({.Action = TJournalAction::Backup,
          .Path = std::move(stored),
          .Backup = step.Backup,
          .Creation = found.Creation,
          .LastWrite = found.LastWrite});
  return step;
}

void TInstallTransaction::Record(TJournalRecord record) {
  FRecords.push_back(std::move(record));
}

// Everything recorded so far reaches the disk before the changes it announces begin. The lines
// go out in pieces: the journal of a large archive is never held as one text.
void TInstallTransaction::WriteAhead() {
  constexpr std::size_t kPiece = 64 * 1024;
  std::string piece;
  for (; FWritten < FRecords.size(); ++FWritten) {
    piece += FormatJournalRecord(FRecords[FWritten]);
    if (piece.size() >= kPiece) {
      FJournal->WriteBuffer(piece.data(), piece.size());
      piece.clear();
    }
  }
  FJournal->WriteBuffer(piece.data(), piece.size());
  ForceJournal();
}

void TInstallTransaction::ForceJournal() {
  if (!FJournal->FlushToDisk()) {
    throw EWriteError(texts::kStreamWriteError);
  }
}

std::u16string TInstallTransaction::StepPath(std::size_t index) const {
  const TStep& step = FSteps[index];
  if (step.Record != kNoRecord) {
    return FullPath(FRecords[step.Record].Path);
  }
  return FullPath(step.IsFolder ? step.Folder->first : FBlockedPaths.at(index));
}

std::u16string TInstallTransaction::Prepare(std::size_t index) {
  const TStep& step = FSteps[index];
  for (const std::u16string* folder : step.NewFolders) {
    CreateDir(FullPath(*folder));
    FFolders[ParentOf(*folder)].Added = true;
  }
  TFolder& folder = step.Folder->second;
  std::u16string path = StepPath(index);
  if (step.Backup != 0) {
    if (!RenameFile(path, BackupFilePath(FInstallDir, step.Backup))) {
      RaiseCreateError(path);
    }
    folder.Disturbed = true;
  } else if (step.NewFile) {
    folder.Added = true;
  }
  return path;
}

void TInstallTransaction::NoteFolderStamp(std::size_t index, std::u16string stampPath,
                                          TFileTime stamp) {
  auto& [name, state] = *FSteps[index].Folder;
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
  const std::string line = FormatJournalRecord(settled);
  FJournal->WriteBuffer(line.data(), line.size());
  ForceJournal();
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
