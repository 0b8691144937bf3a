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

std::u16string Join(std::u16string_view parent, std::u16string_view name) {
  std::u16string path(parent);
  if (!path.empty()) {
    path += u'\\';
  }
  return path.append(name);
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

std::u16string TargetKey(std::u16string_view parentKey, std::u16string_view name) {
  return Join(parentKey, UpperCase(name));
}

TInstallTransaction::TInstallTransaction(std::u16string installDir)
    : FInstallDir(std::move(installDir)),
      FFileTargets(0, TRecordKey{&FRecords}, TRecordKey{&FRecords}) {}

std::size_t TInstallTransaction::TRecordKey::operator()(std::u16string_view key) const {
  return std::hash<std::u16string_view>{}(key);
}

std::size_t TInstallTransaction::TRecordKey::operator()(std::size_t record) const {
  return (*this)(UpperCase((*Records)[record].Path));
}

bool TInstallTransaction::TRecordKey::operator()(std::size_t a, std::size_t b) const {
  return UpperCase((*Records)[a].Path) == UpperCase((*Records)[b].Path);
}

bool TInstallTransaction::TRecordKey::operator()(std::u16string_view key,
                                                 std::size_t record) const {
  return UpperCase((*Records)[record].Path) == key;
}

bool TInstallTransaction::TRecordKey::operator()(std::size_t record,
                                                 std::u16string_view key) const {
  return (*this)(key, record);
}

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
    SettleRecords(FInstallDir, FRecords, std::move(FJournal));
  } catch (...) {
    // Never raises: what could not be put back stays in the journal for the next start.
  }
}

std::u16string TInstallTransaction::FullPath(std::u16string_view path) const {
  return InstalledPath(FInstallDir, path);
}

void TInstallTransaction::Begin(std::vector<TTarget> targets) {
  ForceDirectories(FInstallDir);
  const TSettled leftover = SettleLeftoverJournal(FInstallDir);
  if (leftover.Held || !leftover.Undone) {
    // Another run's attempt is under way, or an earlier one could not be put back yet: this one
    // fails as on a file in use. Its commit would settle the earlier records with its own, and
    // so remove the old files that are still to go back.
    RaiseCreateError(JournalPath(FInstallDir));
  }
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
  FFileTargets.reserve(targets.size());
  // Making and removing the backup folder moves the installation folder's time.
  Root().Disturbed = true;
  for (TTarget& target : targets) {
    FSteps.push_back(PlanStep(target));
    target = {};
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

// The journal is made new and held to the end of the attempt: one that is already there belongs
// to another run that got in between since the earlier journal was settled, and is never written
// over; this attempt then fails before it changes anything. The backups of a settled attempt that
// could not be removed yet are carried on: their records stay in front, settled. The journal is
// first rewritten whole, in one atomic replacement, so that no torn line of it hides the lines
// appended now.
void TInstallTransaction::OpenJournal(const std::vector<TJournalRecord>& kept) {
  const std::u16string journal = JournalPath(FInstallDir);
  if (kept.empty()) {
    FJournal = std::make_unique<TFileStream>(journal, kCreateNewWriteExclusive);
    const std::string header = FormatJournal({});
    FJournal->WriteBuffer(header.data(), header.size());
    return;
  }
  ReplaceFileContent(journal, FormatJournal(kept));
  FJournal = std::make_unique<TFileStream>(journal, kOpenWriteExclusive);
  FJournal->Seek(0, TSeekOrigin::End);
  FWritten = kept.size();
}

TInstallTransaction::TFolder& TInstallTransaction::NewFolder(TFolder* parent, std::u16string key,
                                                             std::u16string path) {
  TFolder& folder = FFolders.emplace_back();
  folder.Parent = parent;
  folder.Order = static_cast<int>(FFolders.size());
  folder.Key = std::move(key);
  folder.Path = std::move(path);
  return folder;
}

TInstallTransaction::TFolder& TInstallTransaction::Root() {
  if (FFolders.empty()) {
    TFolder& root = NewFolder(nullptr, u"", u"");
    FFolderKeys.emplace(u"", &root);
    TFoundFile found;
    if (FindFile(FullPath(u""), found)) {
      root.Existed = true;
      root.Creation = found.Creation;
      root.LastWrite = found.LastWrite;
      Record({.Action = TJournalAction::Times,
              .Path = u"",
              .Creation = found.Creation,
              .LastWrite = found.LastWrite});
    }
  }
  return FFolders.front();
}

// Each folder is looked up on the disk once; an existing one has its times recorded the first
// time. A name that the file system resolves to a folder met before under another spelling (a
// short name) is that folder.
TInstallTransaction::TFolder& TInstallTransaction::ChildFolder(TFolder& parent,
                                                               std::u16string_view name) {
  std::u16string key = TargetKey(parent.Key, name);
  if (const auto known = FFolderKeys.find(key); known != FFolderKeys.end()) {
    return *known->second;
  }
  TFoundFile found;
  const bool onDisk =
      !parent.Created && !parent.Blocked && FindFile(FullPath(Join(parent.Path, name)), found);
  std::u16string stored = onDisk ? found.Name : std::u16string(name);
  std::u16string realKey = TargetKey(parent.Key, stored);
  if (const auto known = FFolderKeys.find(realKey); known != FFolderKeys.end()) {
    FFolderKeys.emplace(std::move(key), known->second);
    return *known->second;
  }
  TFolder& folder = NewFolder(&parent, realKey, Join(parent.Path, stored));
  FFolderKeys.try_emplace(std::move(realKey), &folder);
  FFolderKeys.try_emplace(std::move(key), &folder);
  folder.Blocked =
      parent.Blocked || (onDisk && !found.IsDirectory) || FileTarget(folder.Key) != kNoRecord;
  if (onDisk && found.IsDirectory) {
    folder.Existed = true;
    folder.Creation = found.Creation;
    folder.LastWrite = found.LastWrite;
    Record({.Action = TJournalAction::Times,
            .Path = folder.Path,
            .Creation = found.Creation,
            .LastWrite = found.LastWrite});
  }
  return folder;
}

TInstallTransaction::TFolder& TInstallTransaction::PlanFolder(std::u16string_view path, TStep& step,
                                                              bool mayBeBlocked) {
  TFolder* folder = &Root();
  std::size_t start = 0;
  while (start < path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    folder = &ChildFolder(*folder, path.substr(start, end - start));
    start = end + 1;
  }
  if (folder->Blocked) {
    if (!mayBeBlocked) {
      RaiseCreateError(FullPath(folder->Path));
    }
    return *folder;
  }
  // Top down: each folder the attempt makes is recorded before what it makes inside it.
  std::vector<TFolder*> chain;
  for (TFolder* part = folder; part->Parent != nullptr && !part->Existed && !part->Created;
       part = part->Parent) {
    chain.push_back(part);
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    (*it)->Created = true;
    Record({.Action = TJournalAction::Folder, .Path = (*it)->Path});
    step.NewFolders.push_back(*it);
  }
  return *folder;
}

// The plan looks at the disk as it is before the attempt: a path recorded as a new file had
// nothing there. A file written by the attempt is recorded with what it will look like, so that
// an undo can tell it from a file that someone else has put there since.
void TInstallTransaction::PlanFile(TFolder& parent, std::u16string_view name, const TTarget& target,
                                   TStep& step) {
  std::u16string key = TargetKey(parent.Key, name);
  std::size_t known = FileTarget(key);
  TFoundFile found;
  const bool onDisk =
      !parent.Created && known == kNoRecord && FindFile(FullPath(Join(parent.Path, name)), found);
  const std::u16string stored = onDisk ? found.Name : std::u16string(name);
  const std::u16string realKey = TargetKey(parent.Key, stored);
  const std::u16string path = Join(parent.Path, stored);
  if ((onDisk && found.IsDirectory) || IsFolderKey(key) || IsFolderKey(realKey)) {
    RaiseCreateError(FullPath(path));
  }
  if (known == kNoRecord && realKey != key) {
    known = FileTarget(realKey);
  }
  step.Record = FRecords.size();
  TJournalRecord record{.Action = TJournalAction::File,
                        .Path = path,
                        .Identified = true,
                        .Written = {target.Size, target.Stamp}};
  if (known != kNoRecord) {
    step.Again = true;
    record.Path = FRecords[known].Path;
  } else if (onDisk) {
    // Renaming succeeds where overwriting would not (a running program's image, a read-only
    // file), and such a file must fail the attempt as it always has.
    { const TFileStream probe(FullPath(path), kOpenWriteExclusive); }
    record.Action = TJournalAction::Backup;
    record.Backup = FNextBackup++;
    record.Creation = found.Creation;
    record.LastWrite = found.LastWrite;
  }
  Record(std::move(record));
  if (known == kNoRecord) {
    FFileTargets.insert(step.Record);
    if (realKey != key) {
      FFileAliases.emplace(std::move(key), step.Record);
    }
  }
}

TInstallTransaction::TStep TInstallTransaction::PlanStep(const TTarget& target) {
  TStep step;
  step.Stamp = target.Stamp;
  step.IsFolder = target.Path.empty() || target.Path.back() == u'\\';
  const std::u16string_view path = target.Path;
  if (step.IsFolder) {
    step.Folder = &PlanFolder(path.substr(0, path.empty() ? 0 : path.size() - 1), step, true);
    return step;
  }
  const std::size_t separator = path.rfind(u'\\');
  const std::u16string_view folder =
      separator == std::u16string_view::npos ? std::u16string_view() : path.substr(0, separator);
  step.Folder = &PlanFolder(folder, step, false);
  PlanFile(*step.Folder, path.substr(folder.empty() ? 0 : separator + 1), target, step);
  return step;
}

std::size_t TInstallTransaction::FileTarget(const std::u16string& key) const {
  if (const auto target = FFileTargets.find(std::u16string_view(key));
      target != FFileTargets.end()) {
    return *target;
  }
  const auto alias = FFileAliases.find(key);
  return alias != FFileAliases.end() ? alias->second : kNoRecord;
}

bool TInstallTransaction::IsFolderKey(const std::u16string& key) const {
  const auto folder = FFolderKeys.find(key);
  return folder != FFolderKeys.end() && !folder->second->Blocked;
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

void TInstallTransaction::MakeFolders(std::size_t index) {
  for (TFolder* folder : FSteps[index].NewFolders) {
    const std::u16string path = FullPath(folder->Path);
    TFoundFile found;
    if (!CreateDir(path) && FindFile(path, found)) {
      RaiseCreateError(path);
    }
    folder->Parent->Added = true;
  }
}

// The file arrives whole, forced to the disk and stamped: from the moment it stands at its path,
// it looks as its record says. Putting it in place never overwrites anything but the attempt's
// own file.
void TInstallTransaction::PlaceFile(std::size_t index) {
  const TStep& step = FSteps[index];
  const TJournalRecord& record = FRecords[step.Record];
  const std::u16string incoming = IncomingPath();
  const std::u16string path = FullPath(record.Path);
  if (!SetFileTimes(incoming, step.Stamp, step.Stamp)) {
    RaiseCreateError(path);
  }
  TFoundFile replaced;
  if ((record.Action == TJournalAction::Backup || step.Again) && FindFile(path, replaced) &&
      (replaced.Hidden || replaced.System)) {
    AddHiddenAndSystem(incoming, replaced.Hidden, replaced.System);
  }
  TFolder& folder = *step.Folder;
  if (record.Action == TJournalAction::Backup) {
    if (!RenameFile(path, BackupFilePath(FInstallDir, record.Backup))) {
      RaiseCreateError(path);
    }
    folder.Disturbed = true;
  } else if (step.Again) {
    folder.Disturbed = true;
  } else {
    folder.Added = true;
  }
  if (!(step.Again ? MoveFileOver(incoming, path) : RenameFile(incoming, path))) {
    RaiseCreateError(path);
  }
}

void TInstallTransaction::StampTarget(std::size_t index) {
  const TStep& step = FSteps[index];
  if (!step.IsFolder) {
    SetFileTimes(FullPath(FRecords[step.Record].Path), step.Stamp, step.Stamp);
    return;
  }
  TFolder& state = *step.Folder;
  if (state.Blocked) {
    return;
  }
  state.Stamped = true;
  state.Added = false;
  state.Disturbed = state.Key.empty();
  state.Creation = step.Stamp;
  state.LastWrite = step.Stamp;
  SetFileTimes(FullPath(state.Path), step.Stamp, step.Stamp);
}

// The "settled" line joins the records only once it is on the disk: should writing it fail, the
// attempt is undone, and a settled record there would make the undo take the backups for
// leftovers to remove. Every file the attempt put in place was forced to the disk before, so that
// the backups never go while a new file's data may still be lost.
void TInstallTransaction::Commit() {
  const TJournalRecord settled{.Action = TJournalAction::Settled};
  const std::string line = FormatJournalRecord(settled);
  FJournal->WriteBuffer(line.data(), line.size());
  ForceJournal();
  FRecords.push_back(settled);
  FCommitted = true;
  SettleRecords(FInstallDir, FRecords, std::move(FJournal));
  RestoreFolderTimes();
}

// Overwriting in place moves a folder's time only when a name is added to it; putting a file
// aside and writing its successor moves it too. So a folder that this attempt only replaced files
// in gets back the time it would have kept: its stamp, or the time it had.
void TInstallTransaction::RestoreFolderTimes() {
  std::vector<const TFolder*> folders;
  for (const TFolder& state : FFolders) {
    if ((state.Existed || state.Stamped) && state.Disturbed && !state.Added) {
      folders.push_back(&state);
    }
  }
  std::sort(folders.begin(), folders.end(),
            [](const TFolder* a, const TFolder* b) { return a->Order > b->Order; });
  for (const TFolder* state : folders) {
    SetFileTimes(FullPath(state->Path), state->Creation, state->LastWrite);
  }
}

}  // namespace zelkupd
