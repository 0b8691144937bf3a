// One installation attempt as all or nothing: each file it replaces is first put aside in the
// backup folder and each file and folder it adds is recorded, all written ahead in the journal.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "runtime/datetime.h"
#include "runtime/stream.h"
#include "update/install_journal.h"

namespace zelkupd {

// The identity of a path in the plan: the path in upper case, component by component as the file
// system stores the names that exist (so a short 8.3 name, another letter case or the "." and
// doubled separators the reader has already dropped all reach the same key). Every look-up of
// the plan goes by it, so two entries that reach one file or folder are one target.
std::u16string TargetKey(std::u16string_view parentKey, std::u16string_view name);

// Begin plans the whole attempt and writes the plan to the journal, forced to the disk once,
// before anything of the installation changes; the caller then makes each entry's folders, writes
// each file to IncomingPath and has PlaceFile put it in place, and commits when every entry is
// in. An attempt destroyed without Commit puts the installation back as it was (see
// install_recovery.h); one that never gets that far (a crash) is put back by the next start from
// its journal. Paths are relative to the installation folder in Windows form; a folder entry's
// path ends in "\".
//
// Cost per entry, besides the writing itself: one look-up of the target (FindFirstFileW), one
// journal line, the file forced to the disk, stamped and renamed into place; for a file that is
// replaced also a trial open for writing, the rename into the backup folder and, after the
// commit, the removal of the backup. Each folder costs one look-up. Per attempt: the journal
// made, written and forced to the disk twice (the plan and the commit) and removed, and the
// backup folder made and removed.
class TInstallTransaction {
 public:
  struct TTarget {
    std::u16string Path;  // canonical (CanonicalEntryName), relative
    TFileTime Stamp;      // the entry's time, which the attempt gives what it writes
    std::uint64_t Size;   // a file's size
  };

  explicit TInstallTransaction(std::u16string installDir);  // ends in "\"
  ~TInstallTransaction();
  TInstallTransaction(const TInstallTransaction&) = delete;
  TInstallTransaction& operator=(const TInstallTransaction&) = delete;

  // Settles what an earlier attempt left, plans each target's change and writes the plan. Raises
  // EFCreateError before anything is changed for a file that could not be overwritten in place
  // (in use, read-only), as overwriting it would, and for a target that a file stands in the way
  // of or that is a folder where a file goes; raises too when the backup folder or the journal
  // cannot be made, the journal of an earlier attempt cannot be read or not yet be put back, or
  // another run's attempt holds it or made its journal first. Each target is let go of once
  // planned, so that an archive of many entries holds each name once.
  void Begin(std::vector<TTarget> targets);
  bool IsFolder(std::size_t index) const { return FSteps[index].IsFolder; }
  // Makes the missing folders of target `index`. One that cannot be created is not reported here
  // (writing into it fails), as when extracting in place; one that something else has taken since
  // the plan fails the attempt.
  void MakeFolders(std::size_t index);
  // Where each file is written and forced to the disk before PlaceFile puts it in place.
  std::u16string IncomingPath() const { return IncomingFilePath(FInstallDir); }
  // Stamps the incoming file of target `index`, puts aside the file it replaces and moves it to
  // its path: a replaced file's own name, case included, so it keeps it. Raises EFCreateError when
  // any of it fails, and when something not of the plan has taken the path since.
  //
  // The new file keeps the hidden and system attributes of the file it replaces: whoever set them
  // (the user, or Windows on a desktop.ini) wanted the file out of sight whatever its version. It
  // does not take over the old file's permissions: those were given to the old version, and the
  // new one gets what any new file in the installation folder gets, as every file the release
  // adds. A read-only file never gets this far: it fails the attempt as overwriting it would.
  void PlaceFile(std::size_t index);
  // Gives target `index` its entry's time, through the path the plan knows the target by: another
  // spelling of it in the archive could reach a file that the file system keeps apart (another
  // case on a case-sensitive folder). A folder entry that a file stands in the way of passes
  // unwritten, as extracting in place lets it, and is not the attempt's to stamp; a folder's
  // stamp is set again by the commit when only the attempt's own renames moved it since.
  void StampTarget(std::size_t index);
  // Records that the attempt is complete, then removes the backups, the journal and the backup
  // folder. A backup still in use stays, named by the journal, for a later run to remove.
  void Commit();

 private:
  struct TFolder {
    TFolder* Parent = nullptr;  // none for the installation folder
    std::u16string Key;
    std::u16string Path;     // relative, as it stands or will stand on the disk
    int Order = 0;           // when the attempt first met it
    bool Existed = false;    // there before the attempt, with the times below
    bool Created = false;    // the attempt makes it
    bool Blocked = false;    // a file stands, or the attempt puts one, where the folder would be
    bool Stamped = false;    // an entry stamped it: the times below are the stamp
    bool Added = false;      // a file or folder was added inside it after those times
    bool Disturbed = false;  // a file inside it was put aside or replaced after those times
    TFileTime Creation;
    TFileTime LastWrite;
  };
  // Kept small, for an archive may hold 65,535 entries: the path a file step writes to is that of
  // its journal record.
  struct TStep {
    std::vector<TFolder*> NewFolders;  // top down
    TFolder* Folder = nullptr;         // the folder entry's own, or the file's parent
    std::size_t Record = kNoRecord;    // the file or backup record in FRecords
    TFileTime Stamp;
    bool IsFolder = false;
    bool Again = false;  // the attempt has written this file before: it replaces its own
  };
  static constexpr std::size_t kNoRecord = static_cast<std::size_t>(-1);

  std::u16string FullPath(std::u16string_view path) const;
  TFolder& NewFolder(TFolder* parent, std::u16string key, std::u16string path);
  TFolder& Root();
  // The folder `name` inside `parent`, looked up on the disk the first time its key is met.
  TFolder& ChildFolder(TFolder& parent, std::u16string_view name);
  // The folder of `path` (relative, without a final "\"), its missing parts planned for creation
  // by `step`. Raises when a file stands in the way, unless `mayBeBlocked`.
  TFolder& PlanFolder(std::u16string_view path, TStep& step, bool mayBeBlocked);
  void PlanFile(TFolder& parent, std::u16string_view name, const TTarget& target, TStep& step);
  TStep PlanStep(const TTarget& target);
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
  std::deque<TFolder> FFolders;                    // in the order met; the root first
  std::map<std::u16string, TFolder*> FFolderKeys;  // by TargetKey, and by every spelling met
  // Every file target, as the index of its first record. Each key is the path it stands for in
  // upper case, so a target's key is its record's path upper-cased and no key is held beside the
  // path for 65,535 entries; a spelling the file system resolved to another name (a short name) is
  // kept apart. TRecordKey hashes and compares records by that key.
  struct TRecordKey {
    using is_transparent = void;
    const std::vector<TJournalRecord>* Records;
    std::size_t operator()(std::u16string_view key) const;
    std::size_t operator()(std::size_t record) const;
    bool operator()(std::size_t a, std::size_t b) const;
    bool operator()(std::u16string_view key, std::size_t record) const;
    bool operator()(std::size_t record, std::u16string_view key) const;
  };
  std::unordered_set<std::size_t, TRecordKey, TRecordKey> FFileTargets;
  std::map<std::u16string, std::size_t> FFileAliases;
  // The first record of the file target `key`; kNoRecord when none.
  std::size_t FileTarget(const std::u16string& key) const;
  // Whether a folder the attempt makes or keeps stands at `key`: not one a file stands in.
  bool IsFolderKey(const std::u16string& key) const;
  std::vector<TStep> FSteps;
  bool FMadeBackupFolder = false;
  bool FCommitted = false;
};

}  // namespace zelkupd
