// One installation attempt as all or nothing: each file it replaces is first put aside in the
// backup folder and each file and folder it adds is recorded, all written ahead in the journal.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datetime.h"
#include "runtime/stream.h"
#include "update/install_journal.h"

namespace zelkupd {

// Begin plans the whole attempt and writes the plan to the journal, forced to the disk once,
// before anything of the installation changes; the caller then prepares and writes each entry in
// turn, and commits when every entry is in. An attempt destroyed without Commit puts the
// installation back as it was (see install_recovery.h); one that never gets that far (a crash) is
// put back by the next start from its journal. Paths are relative to the installation folder in
// Windows form; a folder entry's path ends in "\".
//
// Cost per entry, besides the writing itself: one look-up of the target (FindFirstFileW) and one
// journal line; for a file that is replaced also a trial open for writing, the rename into the
// backup folder and, after the commit, the removal of the backup. Each folder costs one look-up.
// Per attempt: the journal made, written and forced to the disk twice (the plan and the commit)
// and removed, and the backup folder made and removed.
class TInstallTransaction {
 public:
  explicit TInstallTransaction(std::u16string installDir);  // ends in "\"
  ~TInstallTransaction();
  TInstallTransaction(const TInstallTransaction&) = delete;
  TInstallTransaction& operator=(const TInstallTransaction&) = delete;

  // Settles what an earlier attempt left, plans each target's change and writes the plan. A file
  // that could not be overwritten in place (in use, read-only) raises EFCreateError, as
  // overwriting it would, before anything is changed. Raises too when the backup folder or the
  // journal cannot be made, or the journal of an earlier attempt cannot be read. Each target is
  // let go of once planned, so that an archive of many entries holds each name once.
  void Begin(std::vector<std::u16string> targets);
  // Whether target `index` was a folder.
  bool IsFolder(std::size_t index) const { return FSteps[index].IsFolder; }
  // Makes the missing folders of target `index` and puts aside the file it replaces. Returns the
  // full path to write the entry to: a replaced file's own name, case included, so it keeps it. A
  // folder that cannot be created is not reported here (writing into it fails), as when
  // extracting in place.
  std::u16string Prepare(std::size_t index);
  // Folder target `index` was stamped through `stampPath`: the commit sets the stamp again when
  // only this attempt's own renames moved the folder's time after it.
  void NoteFolderStamp(std::size_t index, std::u16string stampPath, TFileTime stamp);
  // Records that the attempt is complete, then removes the backups, the journal and the backup
  // folder. A backup still in use stays, named by the journal, for a later run to remove.
  void Commit();

 private:
  struct TFolder {
    int Order = 0;           // when the attempt first met it
    bool Existed = false;    // there before the attempt, with the times below
    bool Created = false;    // the attempt makes it
    bool Blocked = false;    // a file stands where the folder would be
    bool Stamped = false;    // an entry stamped it: the times below are the stamp
    bool Added = false;      // a file or folder was added inside it after those times
    bool Disturbed = false;  // a file inside it was put aside after those times
    std::u16string Path;     // the path it was stamped through, or its full path
    TFileTime Creation;
    TFileTime LastWrite;
  };
  using TFolderEntry = std::map<std::u16string, TFolder>::value_type;
  // Kept small, for an archive may hold 65,535 entries: the path a step writes to is that of its
  // journal record, of its folder, or for the rare file that something stands in the way of, in
  // FBlockedPaths.
  struct TStep {
    std::vector<const std::u16string*> NewFolders;  // keys of FFolders, top down
    TFolderEntry* Folder = nullptr;                 // the folder entry's own, or the file's parent
    std::size_t Record = kNoRecord;                 // the file or backup record in FRecords
    bool IsFolder = false;
    bool NewFile = false;
    std::uint32_t Backup = 0;  // the number its old file is put aside as; 0 when none
  };
  static constexpr std::size_t kNoRecord = static_cast<std::size_t>(-1);

  std::u16string FullPath(std::u16string_view path) const;
  TFolder& Folder(const std::u16string& path);
  // False when a file stands in the way of the folder or one of its parents.
  bool PlanFolders(const std::u16string& folder, TStep& step);
  TStep PlanStep(std::u16string target);
  // The full path step `index` writes to.
  std::u16string StepPath(std::size_t index) const;
  void OpenJournal(const std::vector<TJournalRecord>& kept);
  void Record(TJournalRecord record);
  void WriteAhead();
  void ForceJournal();
  void RestoreFolderTimes();

  std::u16string FInstallDir;
  std::unique_ptr<TFileStream> FJournal;
  std::vector<TJournalRecord> FRecords;  // every record of the journal, the unwritten ones too
  std::size_t FWritten = 0;              // how many of them the journal holds
  std::uint32_t FNextBackup = 1;
  std::map<std::u16string, TFolder> FFolders;
  std::vector<TStep> FSteps;
  std::map<std::size_t, std::u16string> FBlockedPaths;  // relative, by step
  bool FMadeBackupFolder = false;
  bool FCommitted = false;
};

}  // namespace zelkupd
