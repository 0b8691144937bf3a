#include "install/roll.h"

#include <map>

#include "install/file_identity.h"
#include "install/install_names.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"

namespace zelkupd {
namespace {

TRollFailure FailedAt(std::u16string path) {
  return {std::move(path), LastOsError()};
}

TRollFailure NotAsPlanned(std::u16string path) {
  return {std::move(path), kInvalidDataError};
}

// A file of the program's own goes whatever marks it has.
bool RemoveOwnFile(const std::u16string& path) {
  return !FileExists(path) || (ClearReadOnly(path) && RemoveFile(path));
}

// Whether a file stands where a folder of the relative path should be: the user's change.
bool FileInTheWay(std::u16string_view installDir, std::u16string_view path) {
  for (std::size_t at = path.find(u'\\'); at != std::u16string_view::npos;
       at = path.find(u'\\', at + 1)) {
    TFoundFile found;
    if (!FindFile(InstalledPath(installDir, path.substr(0, at)), found)) {
      return false;
    }
    if (!found.IsDirectory) {
      return true;
    }
  }
  return false;
}

// The folder of a path that the user removed after a cut is made again for what goes in it.
bool MakeParent(const std::u16string& path) {
  return ForceDirectories(ExcludeTrailingBackslash(ExtractFilePath(path)));
}

// A file's times are part of its version: a stamp that is refused (another program holds the
// file) fails the record, which would otherwise leave a file of the other version's times. A
// folder's times are not: its stamp is given where it can be.
TRollResult Stamp(const std::u16string& path, const TFileTime& creation,
                  const TFileTime& lastWrite) {
  return SetFileTimes(path, creation, lastWrite) ? std::nullopt : std::optional(FailedAt(path));
}

TProof ProofFor(TRollMode mode) {
  return mode == TRollMode::InProcess ? TProof::Quick : TProof::Full;
}

TRollResult ForwardFolder(const std::u16string& path, std::u16string_view installDir,
                          const TJournalRecord& record, TRollMode mode) {
  TFoundFile found;
  if (FindFile(path, found)) {
    if (found.IsDirectory || mode == TRollMode::AfterCut) {
      return std::nullopt;
    }
    return NotAsPlanned(path);
  }
  if (mode == TRollMode::AfterCut && FileInTheWay(installDir, record.Path)) {
    return std::nullopt;
  }
  const bool made = mode == TRollMode::InProcess ? CreateDir(path) : ForceDirectories(path);
  return made ? std::nullopt : std::optional(FailedAt(path));
}

// Moves the staged file to its path, which is free; after a cut the folders above it are made
// again if the user removed them, and a file of the user's above it stops nothing.
TRollResult PlaceStaged(const std::u16string& staged, const std::u16string& path,
                        std::u16string_view installDir, const TJournalRecord& record,
                        TRollMode mode) {
  if (mode == TRollMode::AfterCut) {
    if (FileInTheWay(installDir, record.Path)) {
      return std::nullopt;
    }
    if (!MakeParent(path)) {
      return FailedAt(path);
    }
  }
  return RenameFile(staged, path) ? std::nullopt : std::optional(FailedAt(path));
}

TRollResult ForwardAdd(const std::u16string& path, std::u16string_view installDir,
                       const TJournalRecord& record, TRollMode mode) {
  const std::u16string staged = StagedFilePath(installDir, record.Number);
  if (!FileExists(staged)) {
    // In process nothing else takes it away; after a cut it was placed, and what stands at the
    // path now is the release's file or what the user made of it.
    return mode == TRollMode::InProcess ? std::optional(NotAsPlanned(staged)) : std::nullopt;
  }
  TFoundFile found;
  if (FindFile(path, found)) {
    if (mode == TRollMode::InProcess) {
      return NotAsPlanned(path);
    }
    // The release's own file (extracted by hand), or the user's: either way it stays.
    return std::nullopt;
  }
  return PlaceStaged(staged, path, installDir, record, mode);
}

TRollResult ForwardReplace(const std::u16string& path, std::u16string_view installDir,
                           const TJournalRecord& record, TRollMode mode) {
  const std::u16string staged = StagedFilePath(installDir, record.Number);
  const std::u16string old = OldFilePath(installDir, record.Number);
  TFoundFile found;
  const bool taken = FindFile(path, found);
  if (!FileExists(staged)) {
    if (mode == TRollMode::InProcess) {
      return NotAsPlanned(staged);
    }
    if (taken && IsVersion(path, found, record.New, TProof::Full)) {
      // Placed; a cut may have come before its stamp.
      return Stamp(path, record.New.LastWrite, record.New.LastWrite);
    }
    if (taken && IsVersion(path, found, record.Old, TProof::Full)) {
      // The old file is back (the user put it back by hand) and the new one gone with the staged
      // file: this attempt can no longer be finished, only undone.
      return NotAsPlanned(path);
    }
    return std::nullopt;
  }
  if (taken) {
    if (!IsVersion(path, found, record.Old, ProofFor(mode))) {
      // The release's own file (extracted by hand), or the user's: either way it stays.
      return mode == TRollMode::InProcess ? std::optional(NotAsPlanned(path)) : std::nullopt;
    }
    if (FileExists(old)) {
      // Put aside already, and the very same old file put back at the path since (by hand): the
      // two are alike, so the one aside goes and the one at the path is put aside in its stead.
      if (mode == TRollMode::InProcess) {
        return NotAsPlanned(path);
      }
      if (!RemoveOwnFile(old)) {
        return FailedAt(old);
      }
    }
    if (!RenameFile(path, old)) {
      return FailedAt(path);
    }
  } else if (mode == TRollMode::InProcess && !FileExists(old)) {
    return NotAsPlanned(path);
  }
  if (TRollResult failed = PlaceStaged(staged, path, installDir, record, mode)) {
    // A staged file that cannot take its place now (a scanner holding it, say) must not leave the
    // path empty until some later start: the old file goes back at once where it was moved from
    // just now, so that the updater itself, above all, still stands to start again.
    if (taken && !FileExists(path)) {
      RenameFile(old, path);
    }
    return failed;
  }
  // Windows gives a name's old creation time to the file that takes the name within seconds.
  return Stamp(path, record.New.LastWrite, record.New.LastWrite);
}

TRollResult ForwardTouch(const std::u16string& path, const TJournalRecord& record, TRollMode mode) {
  TFoundFile found;
  if (FindFile(path, found)) {
    if (IsVersion(path, found, record.Old, ProofFor(mode))) {
      return Stamp(path, record.New.LastWrite, record.New.LastWrite);
    }
    if (IsVersion(path, found, record.New, ProofFor(mode))) {
      return std::nullopt;
    }
  }
  return mode == TRollMode::InProcess ? std::optional(NotAsPlanned(path)) : std::nullopt;
}

// Whether the file at the path is one the attempt left there.
bool IsAttempts(const std::u16string& path, const TFoundFile& found, const TJournalRecord& record,
                const std::vector<TFileIdentity>& alsoWritten, TRollMode mode) {
  if (record.Identified && IsVersion(path, found, record.New, ProofFor(mode))) {
    return true;
  }
  for (const TFileIdentity& identity : alsoWritten) {
    if (IsVersion(path, found, identity, ProofFor(mode))) {
      return true;
    }
  }
  return false;
}

// The attempt's file leaves the path: back to its staged name, from where the attempt could be
// finished again, or, where that is taken or the record is a legacy one, removed.
bool TakeAway(const std::u16string& path, std::u16string_view installDir,
              const TJournalRecord& record) {
  if (!record.Legacy) {
    const std::u16string staged = StagedFilePath(installDir, record.Number);
    if (!FileExists(staged)) {
      return RenameFile(path, staged);
    }
  }
  return ClearReadOnly(path) && RemoveFile(path);
}

TRollResult BackAdd(const std::u16string& path, std::u16string_view installDir,
                    const TJournalRecord& record, const std::vector<TFileIdentity>& alsoWritten,
                    TRollMode mode) {
  if (!record.Legacy && FileExists(StagedFilePath(installDir, record.Number))) {
    return std::nullopt;
  }
  TFoundFile found;
  if (FindFile(path, found) && IsAttempts(path, found, record, alsoWritten, mode) &&
      !TakeAway(path, installDir, record)) {
    return FailedAt(path);
  }
  return std::nullopt;
}

TRollResult BackReplace(const std::u16string& path, std::u16string_view installDir,
                        const TJournalRecord& record, const std::vector<TFileIdentity>& alsoWritten,
                        TRollMode mode) {
  const std::u16string backup = record.Legacy ? LegacyBackupPath(installDir, record.Number)
                                              : OldFilePath(installDir, record.Number);
  if (!FileExists(backup)) {
    return std::nullopt;
  }
  TFoundFile found;
  const bool taken = FindFile(path, found);
  const bool attempts = taken && IsAttempts(path, found, record, alsoWritten, mode);
  if ((taken && !attempts) || (!taken && FileInTheWay(installDir, record.Path))) {
    return RemoveOwnFile(backup) ? std::nullopt : std::optional(FailedAt(backup));
  }
  if (attempts && !TakeAway(path, installDir, record)) {
    return FailedAt(path);
  }
  if (!MakeParent(path) || !RenameFile(backup, path)) {
    return FailedAt(path);
  }
  // Windows gives a name's old creation time to the file that takes the name within seconds.
  return Stamp(path, record.Creation, record.Old.LastWrite);
}

TRollResult BackFolder(const std::u16string& path) {
  if (!DirectoryExists(path) || !ListDirectory(path).empty()) {
    return std::nullopt;
  }
  ClearReadOnly(path);
  return RemoveDir(path) ? std::nullopt : std::optional(FailedAt(path));
}

// Runs one record's roll. A file whose bytes are to be proven but cannot be read now (another
// program holds it) is neither the attempt's nor the user's: the record cannot be rolled now, and
// fails with the read's error at `path`.
template <typename TRoll>
TRollResult ProvingAt(const std::u16string& path, TRoll roll) {
  try {
    return roll();
  } catch (const EStreamError& unreadable) {
    return TRollFailure{path, unreadable.OsError()};
  }
}

}  // namespace

TRollResult RollForward(std::u16string_view installDir, const TJournalRecord& record,
                        TRollMode mode) {
  const std::u16string path = InstalledPath(installDir, record.Path);
  return ProvingAt(path, [&]() -> TRollResult {
    switch (record.Action) {
      case TJournalAction::Folder:
        return ForwardFolder(path, installDir, record, mode);
      case TJournalAction::Add:
        return ForwardAdd(path, installDir, record, mode);
      case TJournalAction::Replace:
        return ForwardReplace(path, installDir, record, mode);
      case TJournalAction::Touch:
        return ForwardTouch(path, record, mode);
      case TJournalAction::Stamp:
        if (DirectoryExists(path)) {
          SetFileTimes(path, record.LastWrite, record.LastWrite);
        }
        return std::nullopt;
      case TJournalAction::Times:
      case TJournalAction::Restore:
      case TJournalAction::Settled:
        return std::nullopt;
    }
    return std::nullopt;
  });
}

TRollResult RollBack(std::u16string_view installDir, const TJournalRecord& record,
                     const std::vector<TFileIdentity>& alsoWritten, TRollMode mode) {
  const std::u16string path = InstalledPath(installDir, record.Path);
  return ProvingAt(path, [&]() -> TRollResult {
    switch (record.Action) {
      case TJournalAction::Folder:
        return BackFolder(path);
      case TJournalAction::Add:
        return BackAdd(path, installDir, record, alsoWritten, mode);
      case TJournalAction::Replace:
        return BackReplace(path, installDir, record, alsoWritten, mode);
      case TJournalAction::Touch: {
        TFoundFile found;
        if (FindFile(path, found) && IsVersion(path, found, record.New, ProofFor(mode))) {
          return Stamp(path, record.Creation, record.Old.LastWrite);
        }
        return std::nullopt;
      }
      case TJournalAction::Times:
      case TJournalAction::Stamp:
      case TJournalAction::Restore:
      case TJournalAction::Settled:
        return std::nullopt;
    }
    return std::nullopt;
  });
}

TRollResult RollBackRecords(std::u16string_view installDir,
                            const std::vector<TJournalRecord>& records, TRollMode mode) {
  // A later backup of a path (an earlier version's journal carrying a second attempt) begins a
  // new target; a later file record of it is what that target's attempt wrote there again.
  std::map<std::u16string, std::size_t> heads;
  std::map<std::size_t, std::vector<TFileIdentity>> alsoWritten;
  std::vector<bool> again(records.size(), false);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const TJournalRecord& record = records[i];
    if (record.Action == TJournalAction::Replace) {
      heads.insert_or_assign(record.Path, i);
    } else if (record.Action == TJournalAction::Add) {
      const auto [head, first] = heads.try_emplace(record.Path, i);
      if (!first) {
        again[i] = true;
        if (record.Identified) {
          alsoWritten[head->second].push_back(record.New);
        }
      }
    }
  }
  const std::vector<TFileIdentity> none;
  TRollResult first;
  for (std::size_t i = records.size(); i > 0; --i) {
    if (again[i - 1]) {
      continue;
    }
    const auto also = alsoWritten.find(i - 1);
    TRollResult failed =
        RollBack(installDir, records[i - 1], also == alsoWritten.end() ? none : also->second, mode);
    if (failed && !first) {
      first = std::move(failed);
    }
  }
  return first;
}

}  // namespace zelkupd
