// One installation attempt as all or nothing: each file it replaces is first put aside in the
// backup folder and each file and folder it adds is recorded, all written ahead in the journal.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datetime.h"
#include "runtime/stream.h"
#include "update/install_journal.h"

namespace zelkupd {

// The caller makes room for each entry, writes it, and commits when every entry is in; an attempt
// destroyed without Commit puts the installation back as it was (see install_recovery.h), and one
// that never gets that far (a crash) is put back by the next start from its journal. Paths are
// relative to the installation folder in Windows form.
//
// Cost per entry, besides the writing itself: one look-up of the target (FindFirstFileW), one
// journal line appended and forced to the disk; for a file that is replaced also a trial open for
// writing, the rename into the backup folder and, after the commit, the removal of the backup.
// Each folder costs one look-up the first time it is met.
class TInstallTransaction {
 public:
  explicit TInstallTransaction(std::u16string installDir);  // ends in "\"
  ~TInstallTransaction();
  TInstallTransaction(const TInstallTransaction&) = delete;
  TInstallTransaction& operator=(const TInstallTransaction&) = delete;

  // Settles what an earlier attempt left, then makes the backup folder and the journal. Raises
  // when either cannot be made, or when the journal of an earlier attempt cannot be read.
  void Begin();
  // Creates each missing folder of the path, top down; a folder that cannot be created is not
  // reported here (writing into it fails later), as when extracting in place.
  void MakeFolders(std::u16string_view folder);
  // Makes the folders on the way and puts an existing file aside. Returns the full path to write
  // the entry to: an existing file's own name, case included, so a replaced file keeps it. A
  // file that could not be overwritten in place (in use, read-only) raises EFCreateError, as
  // overwriting it would, and is left untouched.
  std::u16string MakeRoomForFile(std::u16string_view file);
  // Records a folder's times before the caller stamps it through `stampPath`, and the stamp: the
  // commit sets it again when only this attempt's own renames moved the folder's time after it.
  void BeforeFolderStamp(std::u16string_view folder, std::u16string stampPath, TFileTime stamp);
  // Records that the attempt is complete, then removes the backups, the journal and the backup
  // folder. A backup still in use stays, named by the journal, for a later run to remove.
  void Commit();

 private:
  struct TFolder {
    int Order = 0;           // when the attempt first met it
    bool Existed = false;    // there before the attempt, with Times as it had them
    bool Stamped = false;    // an entry stamped it: Times is the stamp
    bool Added = false;      // a file or folder was added inside it after Times
    bool Disturbed = false;  // a file inside it was put aside after Times
    std::u16string Path;     // the path it was stamped through, or its full path
    TFileTime Creation;
    TFileTime LastWrite;
  };

  std::u16string FullPath(std::u16string_view path) const;
  void OpenJournal(const std::vector<TJournalRecord>& kept);
  TFolder& Touch(const std::u16string& folder);
  void Record(TJournalRecord record);
  void WriteAhead();
  std::uint32_t NextBackupNumber();
  void RestoreFolderTimes();

  std::u16string FInstallDir;
  std::unique_ptr<TFileStream> FJournal;
  std::vector<TJournalRecord> FRecords;  // every record of the journal, the unwritten ones too
  std::string FUnwritten;
  std::uint32_t FNextBackup = 1;
  std::map<std::u16string, TFolder> FFolders;
  std::set<std::u16string> FKnownFolders;  // found or created by this attempt
  bool FMadeBackupFolder = false;
  bool FCommitted = false;
};

}  // namespace zelkupd
