// The plan of an attempt: where each entry of the archive goes, what stands there now, and the
// journal records of every change, in the order the attempt makes them. It is made by looking
// at the installation only; nothing is changed while it is made.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "install/file_identity.h"
#include "install/install_attempt.h"
#include "install/install_journal.h"
#include "runtime/datetime.h"
#include "runtime/files.h"

namespace zelkupd {

class TZipFile;

// Each path is known by its TargetKey, so two entries that reach one file or folder, through
// another letter case, a short name or another spelling, are one target: it is written once,
// with the bytes and time of the last of them, under the name of the first (or the name it has).
// A file target where a folder stands or goes, or below a file, fails the plan; a folder entry
// where a file stands passes unwritten, as extracting in place lets it. An entry that names the
// updater's settings file where one stands passes unwritten too: that file is the user's. The
// running updater's own file is a target like the others, known as running (TOwnFiles).
//
// Kept small, for an archive may hold 65,535 entries: a target holds no path of its own (its
// folder's and the entry's name make it), and the targets are found by their keys' hashes.
class TInstallPlan {
 public:
  enum class TKind : std::uint8_t { Add, Replace, Touch };
  static constexpr std::uint32_t kFolderEntry = 0xFFFFFFFFu;
  // An entry of a file that stays as it is: the user's settings file.
  static constexpr std::uint32_t kKeptEntry = 0xFFFFFFFEu;

  // `installDir` ends in "\"; `stamp` gives each entry's time; `root` is what FindFile found of
  // the installation folder before the install's folder was made in it (nothing when it did not
  // exist); the targets' numbers begin at `firstNumber`; `own` are the updater's own files.
  using TEntryStamp = TFileTime (*)(std::uint32_t dosDateTime);
  TInstallPlan(const TZipFile& zip, std::u16string installDir, TEntryStamp stamp,
               const TFoundFile* root, std::uint32_t firstNumber, const TOwnFiles& own);
  TInstallPlan(const TInstallPlan&) = delete;
  TInstallPlan& operator=(const TInstallPlan&) = delete;

  // Plans every entry in the archive's order. Raises the reader's error for a name it refuses,
  // EZipException for an entry inside the install's folder, and EFCreateError for a file target
  // that a folder or a file stands in the way of.
  void Make();

  // The target of entry `index`, or kFolderEntry, or kKeptEntry.
  std::uint32_t EntryTarget(std::size_t index) const { return FEntryTargets[index]; }
  std::size_t TargetCount() const { return FTargets.size(); }
  // Whether target `target` is a file that was there before the attempt.
  bool Existed(std::uint32_t target) const { return FTargets[target].OldFile != kNone; }
  // Whether target `target` is the running updater's own file: it can be read, not written.
  bool Running(std::uint32_t target) const { return FTargets[target].Running; }
  // Add until staging finds an existing file changed (Replace) or not (Touch).
  TKind Kind(std::uint32_t target) const { return FTargets[target].Kind; }
  // The entry whose bytes and time target `target` gets.
  std::uint32_t LastEntry(std::uint32_t target) const { return FTargets[target].LastEntry; }
  std::uint32_t Number(std::uint32_t target) const { return FFirstNumber + target; }
  // Whether an existing file target is hidden or a system file: its new version stays so.
  bool Hidden(std::uint32_t target) const { return OldFile(target).Hidden; }
  bool System(std::uint32_t target) const { return OldFile(target).System; }
  // The target's path, relative to the installation folder.
  std::u16string TargetPath(std::uint32_t target) const;
  const std::u16string& InstallDir() const { return FInstallDir; }
  TFileTime Stamp(std::uint32_t entry) const;

  // What staging found of an existing file target: whether the release changes its bytes, and
  // the file as it read it.
  void SetStaged(std::uint32_t target, bool changed, const TFileIdentity& old);

  // Once every target is staged: the folders whose times are to be given back once the attempt
  // is settled.
  void Finish();
  // The journal records, in the order the attempt makes its changes.
  std::size_t RecordCount() const { return FItems.size() + FRestores.size(); }
  TJournalRecord Record(std::size_t index) const;

 private:
  struct TFolder {
    TFolder* Parent = nullptr;  // none for the installation folder
    std::u16string Key;
    std::u16string Path;      // relative, as it stands or will stand on the disk
    std::uint32_t Index = 0;  // in FFolders, the order the plan met it in
    bool Existed = false;     // there before the attempt, with the times below
    bool Created = false;     // the attempt makes it
    bool Blocked = false;     // a file stands, or the attempt puts one, where the folder would be
    bool Stamped = false;     // a folder entry stamps it, last with Stamp
    bool Added = false;       // a name was added in it after its last stamp or times
    bool Disturbed = false;   // a name was put aside and taken again in it since
    TFileTime Creation;
    TFileTime LastWrite{};
    TFileTime Stamp;
  };
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  struct TFileTarget {
    std::uint32_t Folder = 0;     // in FFolders
    std::uint32_t NameEntry = 0;  // the first entry that reaches it: its spelling names a new file
    std::uint32_t LastEntry = 0;  // the last entry that reaches it
    std::uint32_t OldFile = kNone;  // in FOldFiles, for a file that was there
    TKind Kind = TKind::Add;
    bool StoredName = false;  // its name on the disk differs from the entry's: in FStoredNames
    bool Running = false;     // the running updater's own file
  };
  // What was at a target before: only existing files have one, so a fresh installation of many
  // files holds none.
  struct TOldFile {
    TFileTime Creation;
    TFileTime LastWrite{};
    std::uint64_t Size = 0;
    std::uint32_t Crc = 0;
    bool Hidden = false;
    bool System = false;
  };
  enum class TItemKind : std::uint8_t { Times, Folder, File, Stamp };
  // Two numbers, for there is one an entry: the kind in the top bits, as an index is below 2^16.
  struct TItem {
    TItem(TItemKind kind, std::uint32_t index, std::uint32_t folder)
        : KindAndIndex((static_cast<std::uint32_t>(kind) << 30) | index), Folder(folder) {}
    TItemKind Kind() const { return static_cast<TItemKind>(KindAndIndex >> 30); }
    std::uint32_t Index() const { return KindAndIndex & 0x3FFFFFFFu; }  // the target or the entry

    std::uint32_t KindAndIndex;
    std::uint32_t Folder;  // Times, Folder, Stamp: in FFolders
  };

  // Every file target by its key, held as the target's number under a hash of the key; a match of
  // the hash is confirmed on the target's path, so no key is held beside 65,535 targets.
  class TKeyIndex {
   public:
    void Reserve(std::size_t targets);
    // The target whose key is `key`, the candidates checked by `matches`; kFolderEntry when none.
    template <typename Matches>
    std::uint32_t Find(std::u16string_view key, Matches matches) const;
    void Insert(std::u16string_view key, std::uint32_t target);

   private:
    std::vector<std::uint64_t> FSlots;  // hash in the high half, target + 1 in the low; 0 free
  };

  const TOldFile& OldFile(std::uint32_t target) const {
    return FOldFiles[FTargets[target].OldFile];
  }
  std::u16string FullPath(std::u16string_view path) const;
  std::u16string EntryPath(std::uint32_t entry) const;
  TFolder& NewFolder(TFolder* parent, std::u16string key, std::u16string path);
  TFolder& Root();
  // The folder `name` inside `parent`, looked up on the disk the first time its key is met.
  TFolder& ChildFolder(TFolder& parent, std::u16string_view name);
  // The folder of `path` (relative, without a final "\"), its missing parts planned for creation.
  // Raises when a file stands in the way, unless `mayBeBlocked`.
  TFolder& PlanFolder(std::u16string_view path, bool mayBeBlocked);
  std::uint32_t PlanFile(TFolder& folder, std::u16string_view name, std::uint32_t entry);
  // The file target of `key`; kFolderEntry when none.
  std::uint32_t FileTarget(const std::u16string& key) const;
  // Whether a folder the attempt makes or keeps stands at `key`: not one a file stands in.
  bool IsFolderKey(const std::u16string& key) const;
  // The key of an own file that stands directly in the installation folder; empty when it is
  // not there.
  std::u16string OwnKey(const std::u16string& path) const;

  const TZipFile& FZip;
  std::u16string FInstallDir;
  TEntryStamp FStamp;
  const TFoundFile* FRootFound;
  std::uint32_t FFirstNumber;
  std::u16string FExecutableKey;
  std::u16string FSettingsKey;
  std::deque<TFolder> FFolders;                    // in the order met; the root first
  std::map<std::u16string, TFolder*> FFolderKeys;  // by TargetKey, and by every spelling met
  std::vector<TFileTarget> FTargets;
  std::deque<TOldFile> FOldFiles;
  TKeyIndex FTargetKeys;
  std::map<std::u16string, std::uint32_t> FAliases;  // a spelling the file system resolved
  std::map<std::uint32_t, std::u16string> FStoredNames;
  std::vector<std::uint32_t> FEntryTargets;
  std::vector<TItem> FItems;
  std::vector<const TFolder*> FRestores;
};

}  // namespace zelkupd
