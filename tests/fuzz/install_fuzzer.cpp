// Fuzz target: the all-or-nothing installation as a property. The input chooses an installation
// and a release archive from a small vocabulary (names that reach one path through other
// spellings, letter cases and "./" prefixes, files where the archive has folders and the reverse,
// files already present, some of them with the very bytes the release has, new folders) and what
// goes wrong in ExtractArchive over that installation, at one chosen file operation:
// - that operation alone fails, or another program takes a staged file away there, and the
//   attempt fails or undoes itself in process;
// - that operation fails, and a second fault meets what follows (the undo, the clear-up) at a
//   later one: that one fails too, or the power is cut there;
// - a second run starts there: its start and its own attempt, or only its start;
// - the power is cut there (every later operation fails and what was not forced to the disk is
//   lost), maybe after the flush of the commit's "settled" line failed, its line landing on the
//   disk or not; then the user changes up to three paths (writes a file of their own, removes a
//   file or a whole folder, rewrites a file keeping its size and time, or puts an old file back
//   by hand) or extracts the release by hand over what the cut left, and the next start settles
//   it, itself maybe cut off by a power cut or meeting a file that ZELK holds open, and the start
//   after it; or, after the cut, the user deletes the journal.
// The installation may hold the updater itself, zelkupd.exe, which runs throughout each attempt
// and start (running_image.h), and its settings file zelkupd.INI; the release may carry either.
// What an undisturbed attempt leaves is the new installation. Then:
// - every file outside the changed paths is, byte for byte and time for time, all old or all
//   new: new once the journal was at its name when the power went (unless an old file was put
//   back where the new one already stood), else as the cut left it;
// - a file the user wrote or rewrote keeping its size and time is exactly theirs; below a
//   removed path stand only files of the same version as the rest;
// - a release extracted by hand after a cut stays installed, every file of it;
// - a second run changes nothing while the attempt is under way, and the attempt still installs;
// - a failed attempt leaves the old installation, and one that succeeded the new one, even when
//   its commit could not be forced; one whose undo a second fault stopped short, its journal
//   left at its name, is finished by the next start;
// - the running updater fails no attempt that would install without it, and the user's settings
//   file stays as it was;
// - once the journal is deleted, no old file is lost (unless the new installation was complete):
//   each stands at its path or is kept in the install's folder; every file is of one
//   version or the other, no start says it put the update back unless every file is old, and a
//   later attempt still installs;
// - nothing of the attempt stays: no install's folder (but the old image of a running updater
//   that was replaced, which the next start removes, and the kept files), and no folder it added
//   under an old installation unless a file of the user's is in it;
// - a start says at most that it finished or put back an interrupted update, and the one after
//   it says nothing and changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_folder.h"
#include "fuzz/running_image.h"
#include "install/install_names.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/power_cut.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "support/zip_builder.h"
#include "update/extract.h"
#include "zip/entry_paths.h"
#include "zip/zip_file.h"

namespace zelkupd::fuzz {
namespace {

constexpr std::array<const char*, 3> kFolders = {"a", "A", "b"};
constexpr std::array<const char*, 6> kFiles = {"x.txt", "X.TXT",       "y",
                                               "a",     "zelkupd.exe", "zelkupd.INI"};
constexpr char16_t kRestored[] = u"前回中断したアップデートを元に戻しました.\r\n";
constexpr char16_t kCompleted[] = u"前回中断したアップデートを完了しました.\r\n";
constexpr char16_t kNotRestored[] = u"前回中断したアップデートを元に戻せませんでした.\r\n";
constexpr char16_t kUpdater[] = u"zelkupd.exe";
constexpr char16_t kSettings[] = u"zelkupd.INI";

struct TPath {
  std::vector<std::string> Components;
  bool IsFolder = false;
};

TPath ChoosePath(FuzzedDataProvider& input) {
  TPath path;
  const int depth = input.ConsumeIntegralInRange(0, 2);
  for (int i = 0; i < depth; ++i) {
    path.Components.emplace_back(input.PickValueInArray(kFolders));
  }
  path.IsFolder = input.ConsumeBool();
  path.Components.emplace_back(path.IsFolder ? input.PickValueInArray(kFolders)
                                             : input.PickValueInArray(kFiles));
  return path;
}

std::u16string WindowsPath(const TPath& path) {
  std::u16string joined;
  for (const std::string& component : path.Components) {
    joined += (joined.empty() ? u"" : u"\\") + Utf8ToUtf16(component);
  }
  return joined;
}

// The same path as an archive may spell it: "./" in front, doubled separators, "." components,
// and a folder's final "/" or "/.".
std::string EntryName(FuzzedDataProvider& input, const TPath& path) {
  std::string name = input.ConsumeBool() ? "./" : "";
  for (std::size_t i = 0; i < path.Components.size(); ++i) {
    if (i != 0) {
      name += input.PickValueInArray({"/", "//", "/./"});
    }
    name += path.Components[i];
  }
  return path.IsFolder ? name + input.PickValueInArray({"/", "/.", "//"}) : name;
}

// An entry's time on day `day` of the release month, as the installation stamps it.
std::uint32_t EntryTime(unsigned day) {
  return test::DosDateTime(2022, 5, day, 10, 20, 30);
}

TFileTime Stamp(std::uint32_t dosTime) {
  return LocalToUtcFileTime(DosDateTimeToSystemTime(dosTime));
}

// Either any time, or one an entry may have: an installed file can then look exactly as an
// entry's file would, by its size and time, or be exactly what the entry holds.
TFileTime ChooseTime(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) {
    return Stamp(EntryTime(static_cast<unsigned>(input.ConsumeIntegralInRange(1, 28))));
  }
  TFileTime time;
  CalendarToFileTime({static_cast<std::uint16_t>(input.ConsumeIntegralInRange(1990, 2030)), 3, 0,
                      static_cast<std::uint16_t>(input.ConsumeIntegralInRange(1, 28)), 12, 0,
                      static_cast<std::uint16_t>(2 * input.ConsumeIntegralInRange(0, 29)), 0},
                     time);
  return time;
}

// A file's bytes, drawn from few enough that an installed file and an entry often agree.
std::string ChooseBytes(FuzzedDataProvider& input, const char* prefix) {
  return input.ConsumeBool() ? "same " + std::to_string(input.ConsumeIntegralInRange(0, 2))
                             : prefix + input.ConsumeBytesAsString(input.ConsumeBool() ? 6 : 20);
}

// The installation before the attempt, written into `folder`: what the input asks for where it
// fits (no file inside a file).
struct TInstallation {
  struct TItem {
    std::u16string Path;
    bool IsFolder;
    std::string Bytes;
    TFileTime Time;
  };
  std::vector<TItem> Items;

  void Write(const std::u16string& folder) const {
    CreateDir(ExcludeTrailingBackslash(folder));
    for (const TItem& item : Items) {
      const std::u16string path = folder + item.Path;
      const std::size_t separator = path.rfind(u'\\');
      if (!ForceDirectories(path.substr(0, separator)) || FileExists(path) ||
          DirectoryExists(path)) {
        continue;
      }
      if (item.IsFolder) {
        CreateDir(path);
      } else {
        test::WriteFileBytes(path, item.Bytes);
        SetFileTimes(path, item.Time, item.Time);
      }
    }
  }
};

// A start and an attempt are made by the updater that stands in the installation, running from it.
std::u16string Recover(const std::u16string& folder) {
  const TRunningScope running(folder + kUpdater);
  test::FakePlatform fake;
  fake.ModulePath = folder + kUpdater;
  TRunContext ctx(fake);
  RecoverInstallation(ctx, folder);
  ctx.Console.Close();
  return test::DecodedStdOut(fake);
}

bool Attempt(const std::u16string& archive, const std::u16string& folder) {
  const TRunningScope running(folder + kUpdater);
  test::FakePlatform fake;
  fake.ModulePath = folder + kUpdater;
  TRunContext ctx(fake);
  return ExtractArchive(ctx, archive, folder);
}

// Where no other fault is modelled, the running image still refuses what it refuses.
class TRefusing {
 public:
  TRefusing() { SetFaultHook(&RefusedToRunningImage); }
  ~TRefusing() { SetFaultHook(nullptr); }
  TRefusing(const TRefusing&) = delete;
  TRefusing& operator=(const TRefusing&) = delete;
};

std::u16string RecoverRefusing(const std::u16string& folder) {
  const TRefusing refusing;
  return Recover(folder);
}

using TFiles = std::map<std::u16string, test::TTreeEntry>;
struct TSplit {
  TFiles Files;
  std::set<std::u16string> Folders;
};

// Whether `path` is one of the changed paths or lies below one.
bool Within(const std::u16string& path, const std::set<std::u16string>& changed) {
  return std::any_of(changed.begin(), changed.end(), [&](const std::u16string& root) {
    return path == root || path.starts_with(root + u"\\");
  });
}

// The files with their bytes and times, and the folders, leaving out the install's own folder
// and what lies within the changed paths.
TSplit Split(const std::u16string& folder, const std::set<std::u16string>& changed = {}) {
  TSplit split;
  for (auto& [path, entry] : test::SnapshotTree(folder, false)) {
    if (Within(path, changed) || path.starts_with(kBackupFolderName)) {
      continue;
    }
    if (entry.IsDirectory) {
      split.Folders.insert(path);
    } else {
      split.Files.emplace(path, entry);
    }
  }
  return split;
}

bool Includes(const std::set<std::u16string>& outer, const std::set<std::u16string>& inner) {
  return std::includes(outer.begin(), outer.end(), inner.begin(), inner.end());
}

// The folders that hold a changed path: the user's file keeps them.
std::set<std::u16string> Holders(const std::set<std::u16string>& changed) {
  std::set<std::u16string> folders;
  for (const std::u16string& path : changed) {
    for (std::size_t at = path.find(u'\\'); at != std::u16string::npos;
         at = path.find(u'\\', at + 1)) {
      folders.insert(path.substr(0, at));
    }
  }
  return folders;
}

// Only after the operation it fails (one), or the one where a second run starts.
int gAt = 0;
int gOperations = 0;
bool FailOnce(TFaultPoint point, std::u16string_view path) {
  return ++gOperations == gAt || RefusedToRunningImage(point, path);
}

// Operation gAt fails, and so does gAgainAt.
int gAgainAt = 0;
bool FailTwice(TFaultPoint point, std::u16string_view path) {
  ++gOperations;
  return gOperations == gAt || gOperations == gAgainAt || RefusedToRunningImage(point, path);
}

// Another program (a virus scanner's quarantine) takes a staged file away at operation gAt.
std::u16string gStagedFolder;
bool TakeAStagedFile(TFaultPoint point, std::u16string_view path) {
  if (++gOperations == gAt) {
    for (const TDirEntry& entry : ListDirectory(gStagedFolder)) {
      if (entry.Name.ends_with(u".NEW")) {
        SetFaultHook(nullptr);
        RemoveFile(gStagedFolder + u"\\" + entry.Name);
        SetFaultHook(&TakeAStagedFile);
        break;
      }
    }
  }
  return RefusedToRunningImage(point, path);
}

bool SettledFlush(TFaultPoint point, std::u16string_view path) {
  return point == TFaultPoint::Flush && path.ends_with(u"\\JOURNAL");
}

bool SettledFlushOrRefused(TFaultPoint point, std::u16string_view path) {
  return SettledFlush(point, path) || RefusedToRunningImage(point, path);
}

struct TSecondRun {
  std::u16string Archive;
  std::u16string Folder;
  bool Attempts = false;
  bool Ran = false;
  bool Held = false;  // the first run held the lock then
  bool Changed = false;
  std::u16string Said;
};
TSecondRun gSecond;

// A second zelkupd at operation gAt of the first: what it does must not disturb the first.
bool StartSecondRun(TFaultPoint point, std::u16string_view path) {
  if (++gOperations != gAt) {
    return RefusedToRunningImage(point, path);
  }
  SetFaultHook(&RefusedToRunningImage);
  const test::TTreeSnapshot before = test::SnapshotTree(gSecond.Folder, false);
  gSecond.Held = FileExists(LockPath(gSecond.Folder));
  gSecond.Said = Recover(gSecond.Folder);
  if (gSecond.Attempts) {
    Attempt(gSecond.Archive, gSecond.Folder);
  }
  gSecond.Ran = true;
  gSecond.Changed = test::SnapshotTree(gSecond.Folder, false) != before;
  SetFaultHook(&StartSecondRun);
  return RefusedToRunningImage(point, path);
}

// The user's changes after a cut, each recorded by its path and kind. An old file put back by
// hand, with its old bytes and time, is no change of the user's own: it is the old version.
struct TUserChanges {
  std::set<std::u16string> Paths;
  std::set<std::u16string> Written;  // theirs, byte for byte, as long as they stand
  std::set<std::u16string> Removed;
  bool PutBack = false;
};

// Whether the journal at its name says that its attempt is settled.
bool Settled(const std::u16string& folder) {
  return test::ReadFileBytes(JournalPath(folder)).ends_with("settled\n");
}

// An old file is put back only while the journal is there and not settled: once the attempt is
// settled, that is the user's own downgrade, which nothing can tell from their other files.
void ChangeOnePath(FuzzedDataProvider& input, const std::u16string& folder, const TSplit& before,
                   bool journal, TUserChanges& changes) {
  // Mostly a path that stands there now, maybe one the attempt wrote.
  std::vector<std::u16string> paths;
  for (const auto& [path, entry] : test::SnapshotTree(folder, false)) {
    if (!path.starts_with(kBackupFolderName)) {
      paths.push_back(path);
    }
  }
  paths.push_back(WindowsPath(ChoosePath(input)));
  const std::u16string path = paths[input.ConsumeIntegralInRange<std::size_t>(0, paths.size() - 1)];
  const std::u16string full = folder + path;
  const std::size_t separator = path.rfind(u'\\');
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 3:
      if (journal && before.Files.contains(path) && !DirectoryExists(full) &&
          (separator == std::u16string::npos ||
           DirectoryExists(folder + path.substr(0, separator)))) {
        const test::TTreeEntry& old = before.Files.at(path);
        test::WriteFileBytes(full, old.Bytes);
        SetFileTimes(full, old.LastWrite, old.LastWrite);
        changes.PutBack = true;
      }
      return;
    case 0:
      if (!DirectoryExists(full) && (separator == std::u16string::npos ||
                                     DirectoryExists(folder + path.substr(0, separator)))) {
        test::WriteFileBytes(full, "the user's " + input.ConsumeBytesAsString(8));
        changes.Written.insert(path);
        changes.Paths.insert(path);
      }
      return;
    case 1:
      if (FileExists(full) || DirectoryExists(full)) {
        test::RemoveTree(full);
        RemoveFile(full);
        changes.Removed.insert(path);
        changes.Paths.insert(path);
      }
      return;
    default:
      if (FileExists(full)) {
        TFoundFile was;
        FindFile(full, was);
        std::string bytes = test::ReadFileBytes(full);
        for (char& byte : bytes) {
          byte = static_cast<char>(~byte);
        }
        test::WriteFileBytes(full, bytes);
        SetFileTimes(full, was.LastWrite, was.LastWrite);
        changes.Written.insert(path);
        changes.Paths.insert(path);
      }
      return;
  }
}

// What any unzip tool does: every entry written over the installation, with the entry's time.
void ExtractByHand(const std::u16string& archive, const std::u16string& folder) {
  TZipFile zip;
  zip.Open(archive, TZipMode::zmRead);
  for (int i = 0; i < zip.GetFileCount(); ++i) {
    zip.Extract(i, folder, true);
    const TFileTime time = Stamp(zip.GetFileInfo(i).ModifiedDateTime);
    SetFileTimes(zip.PrepareOutput(i, folder, true).FilePath, time, time);
  }
}

// Whether an unzip tool writes exactly what the install does: not so where two entries spell one
// file or folder in other letter cases, which the native file system keeps apart, nor where one
// path is a file of one entry and a folder of another. The install leaves such a folder entry out
// wherever it stands; a tool going through the entries in order fails on the file after it.
// Nor where the release carries the settings file, which the install keeps where it stands.
bool ExtractsAlike(const std::vector<std::string>& names) {
  std::map<std::u16string, std::u16string> spellings;
  std::set<std::u16string> files;
  std::set<std::u16string> folders;
  for (const std::string& name : names) {
    const std::u16string canonical = CanonicalEntryName(Utf8ToUtf16(name));
    if (UpperCase(canonical) == UpperCase(std::u16string_view(kSettings))) {
      return false;
    }
    for (std::size_t end = 0; end != std::u16string::npos;) {
      end = canonical.find(u'\\', end + 1);
      const std::u16string part = canonical.substr(0, end);
      const auto [known, first] = spellings.try_emplace(UpperCase(part), part);
      if (!first && known->second != part) {
        return false;
      }
      const bool folder = end != std::u16string::npos || part.empty() || part.back() == u'\\';
      (folder ? folders : files).insert(UpperCase(folder ? ExcludeTrailingBackslash(part) : part));
    }
  }
  return std::none_of(files.begin(), files.end(),
                      [&](const std::u16string& file) { return folders.contains(file); });
}

// What the install's folder may hold once an attempt is settled: the old image of a running
// updater, which only the next start can remove, and the files kept for the user.
bool OnlyDeletableOrKept(const std::u16string& folder) {
  for (const auto& [path, entry] : test::SnapshotTree(folder, false)) {
    if (path.starts_with(kBackupFolderName) && path != kBackupFolderName &&
        !path.ends_with(u".DEL") && !path.starts_with(KeptFolderPath(u""))) {
      return false;
    }
  }
  return true;
}

// Every file at a path is of the one version or the other: what a deleted journal can leave.
void CheckMixed(const std::u16string& folder, const TSplit& before, const TSplit& after) {
  for (const auto& item : Split(folder).Files) {
    const std::u16string& path = item.first;
    const auto is = [&](const TFiles& files) {
      return files.contains(path) && files.at(path) == item.second;
    };
    Require(is(before.Files) || is(after.Files), "every file is of one version or the other", path);
  }
}

// No old file is lost: the bytes of each stand at its path or are kept (a file the release leaves
// as it is may have its new time already).
void CheckNothingLost(const std::u16string& folder, const TSplit& before) {
  const TSplit now = Split(folder);
  std::set<std::string> kept;
  for (const auto& [path, entry] : test::SnapshotTree(KeptFolderPath(folder), false)) {
    kept.insert(entry.Bytes);
  }
  for (const auto& [path, entry] : before.Files) {
    const bool stands = now.Files.contains(path) && now.Files.at(path).Bytes == entry.Bytes;
    Require(stands || kept.contains(entry.Bytes), "no old file is lost", path);
  }
}

void CheckOutcome(const std::u16string& folder, TSplit before, TSplit after,
                  const std::set<std::u16string>& changed, bool mustBeNew) {
  for (TSplit* split : {&before, &after}) {
    std::erase_if(split->Files, [&](const auto& item) { return Within(item.first, changed); });
    std::erase_if(split->Folders, [&](const auto& path) { return Within(path, changed); });
  }
  const TSplit now = Split(folder, changed);
  const bool isOld = now.Files == before.Files;
  const bool isNew = now.Files == after.Files;
  Require(isOld || isNew, "every other file is all old or all new");
  Require(isNew || !mustBeNew, "once the journal was at its name, the attempt is finished");
  const std::set<std::u16string> holders = Holders(changed);
  const auto within = [&](std::set<std::u16string> allowed) {
    allowed.insert(holders.begin(), holders.end());
    return Includes(allowed, now.Folders);
  };
  Require((isOld && within(before.Folders)) || (isNew && within(after.Folders)),
          "no folder of the attempt stays with the old files");
  Require(Includes(now.Folders, before.Folders), "no folder of the installation goes");
  Require(OnlyDeletableOrKept(folder), "no install's folder stays");
}

// A snapshot without the old image of a replaced updater, which the next start removes, and
// without the install's folder once that leaves it empty.
test::TTreeSnapshot WithoutDeletable(test::TTreeSnapshot snapshot) {
  std::erase_if(snapshot, [](const auto& item) {
    return item.first.starts_with(kBackupFolderName) && item.first.ends_with(u".DEL");
  });
  if (snapshot.contains(std::u16string(kBackupFolderName)) &&
      std::none_of(snapshot.begin(), snapshot.end(), [](const auto& item) {
        return item.first.starts_with(std::u16string(kBackupFolderName) + u"\\");
      })) {
    snapshot.erase(std::u16string(kBackupFolderName));
  }
  return snapshot;
}

// What a start says while files are kept: that it could not put the update back, and where they
// are; nothing once there are none.
std::u16string KeptReport(const std::u16string& folder) {
  if (!DirectoryExists(KeptFolderPath(folder))) {
    return {};
  }
  return std::u16string(kNotRestored) + u"　→ " + KeptFolderPath(folder) + u" : " +
         SysErrorMessage(kInvalidDataError) + u"\r\n";
}

// A start after the journal was deleted: nothing lost, no file of a third version, and no claim
// that the update was put back unless it was; the kept files named while there are any. Once the
// new installation was complete (the journal said so, or every file stood new although its
// "settled" line had not reached the disk), its old files were only leftovers.
void CheckJournalDeleted(const std::u16string& folder, const TSplit& before, const TSplit& after,
                         bool complete, const std::u16string& said) {
  if (!complete) {
    CheckNothingLost(folder, before);
  }
  CheckMixed(folder, before, after);
  Require(OnlyDeletableOrKept(folder), "no install's folder stays but the kept files");
  const std::u16string journalLine = std::u16string(kNotRestored) + u"　→ " + JournalPath(folder) +
                                     u" : " + SysErrorMessage(kFileNotFoundError) + u"\r\n";
  Require(said == KeptReport(folder) || said == journalLine + KeptReport(folder) ||
              (said == kRestored && Split(folder).Files == before.Files),
          "a start never says it put back what it did not", said);
}

void Run(FuzzedDataProvider& input, const std::u16string& root) {
  const std::u16string reference = root + u"reference\\";
  const std::u16string unhindered = root + u"unhindered\\";
  const std::u16string folder = root + u"installation\\";
  const std::u16string archive = root + u"release.zip";
  test::RemoveTree(reference);
  test::RemoveTree(unhindered);
  test::RemoveTree(folder);

  TInstallation installation;
  for (int n = input.ConsumeIntegralInRange(0, 6); n > 0; --n) {
    const TPath path = ChoosePath(input);
    installation.Items.push_back(
        {WindowsPath(path), path.IsFolder, ChooseBytes(input, "old "), ChooseTime(input)});
  }
  test::TZipBuilder builder;
  std::vector<std::string> names;
  for (int n = input.ConsumeIntegralInRange(1, 6); n > 0; --n) {
    const TPath path = ChoosePath(input);
    const std::string data = path.IsFolder ? "" : ChooseBytes(input, "new ");
    const auto day = static_cast<unsigned>(input.ConsumeIntegralInRange(1, 28));
    names.push_back(EntryName(input, path));
    builder.Add({.Name = names.back(),
                 .Data = data,
                 .Method = static_cast<std::uint16_t>(input.ConsumeBool() ? 8 : 0),
                 .DosTime = EntryTime(day)});
  }
  test::WriteFileBytes(archive, builder.Build());
  installation.Write(reference);
  installation.Write(unhindered);
  installation.Write(folder);
  const TSplit before = Split(folder);

  // The same attempt by an updater that runs from elsewhere, its image in nobody's way.
  const bool installsUnhindered = Attempt(archive, unhindered);
  int operations = 0;
  bool installs = false;
  {
    test::TPowerCut counter(0);
    counter.FailAlso(&RefusedToRunningImage, false);
    installs = Attempt(archive, reference);
    operations = counter.Operations();
    Require(installs || Split(reference).Files == before.Files,
            "a failed attempt leaves the old installation");
  }
  Require(installs == installsUnhindered, "the running updater fails no attempt");
  Require(!before.Files.contains(kSettings) ||
              Split(reference).Files.at(kSettings) == before.Files.at(kSettings),
          "the user's settings file stays as it was");
  Require(RecoverRefusing(reference).empty(), "a start after an undisturbed attempt says nothing");
  const TSplit after = Split(reference);
  Require(!DirectoryExists(BackupFolderPath(reference)), "an undisturbed attempt leaves nothing");

  gAt = input.ConsumeIntegralInRange(1, operations + 1);
  gOperations = 0;
  TUserChanges changes;
  bool mustBeNew = false;
  bool journalDeleted = false;
  bool deletedComplete = false;
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 3: {
      gAgainAt = gAt + input.ConsumeIntegralInRange(1, operations + 1);
      bool installed = false;
      if (input.ConsumeBool()) {
        test::TPowerCut power(gAgainAt);
        power.FailAlso(&FailOnce, false);
        installed = Attempt(archive, folder);
        power.LoseUnflushed(folder);
      } else {
        SetFaultHook(&FailTwice);
        installed = Attempt(archive, folder);
        SetFaultHook(nullptr);
      }
      const bool journal = FileExists(JournalPath(folder));
      Require(installed || journal || Split(folder).Files == before.Files,
              "a failed attempt that left no journal leaves the old installation");
      Require(!installed || Split(folder).Files == after.Files,
              "an attempt that succeeded has installed");
      mustBeNew = installed || journal;
      break;
    }
    case 0: {
      gStagedFolder = BackupFolderPath(folder);
      SetFaultHook(input.ConsumeBool() ? &FailOnce : &TakeAStagedFile);
      const bool installed = Attempt(archive, folder);
      SetFaultHook(nullptr);
      Require(installed || Split(folder).Files == before.Files,
              "a failed attempt leaves the old installation");
      Require(!installed || Split(folder).Files == after.Files,
              "an attempt that succeeded has installed");
      break;
    }
    case 1: {
      gSecond = {.Archive = archive, .Folder = folder, .Attempts = input.ConsumeBool()};
      SetFaultHook(&StartSecondRun);
      const bool installed = Attempt(archive, folder);
      SetFaultHook(nullptr);
      Require(installed == installs, "a second run does not disturb the attempt");
      Require(!gSecond.Ran || gSecond.Said.empty(), "a second run says nothing of the attempt",
              gSecond.Said);
      Require(!gSecond.Held || !gSecond.Changed,
              "a second run changes nothing while the attempt is under way");
      mustBeNew = installs;
      break;
    }
    default: {
      const bool failCommit = input.ConsumeBool();
      bool installed = false;
      {
        test::TPowerCut power(gAt);
        if (failCommit) {
          power.FailAlso(&SettledFlushOrRefused, input.ConsumeBool());
        } else {
          power.FailAlso(&RefusedToRunningImage, false);
        }
        installed = Attempt(archive, folder);
        power.LoseUnflushed(folder);
      }
      const bool journal = FileExists(JournalPath(folder));
      const TSplit cut = Split(folder);
      Require(journal || cut.Files == before.Files || cut.Files == after.Files,
              "nothing changes before the journal is at its name");
      Require(!installed || cut.Files == after.Files, "an attempt that succeeded has installed");
      mustBeNew = journal || (cut.Files == after.Files && cut.Files != before.Files);
      if (journal && input.ConsumeIntegralInRange(0, 3) == 0) {
        // The user, seeing an update left half done, deletes its journal.
        deletedComplete = Settled(folder) || cut.Files == after.Files;
        RemoveFile(JournalPath(folder));
        journalDeleted = true;
        mustBeNew = false;
      } else if (installs && input.ConsumeBool() && ExtractsAlike(names)) {
        ExtractByHand(archive, folder);
        mustBeNew = true;
      } else {
        for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
          ChangeOnePath(input, folder, before, journal && !Settled(folder), changes);
        }
      }
      break;
    }
  }
  // The old version put back at a path the attempt had already placed leaves it nothing to
  // finish that path with.
  mustBeNew = mustBeNew && !changes.PutBack;
  const test::TTreeSnapshot userState = test::SnapshotTree(folder, false);
  // A file rewritten twice may be the old or the new version again, bytes and time: then it is
  // that version, no file of the user's own.
  std::erase_if(changes.Written, [&](const std::u16string& path) {
    const auto is = [&](const TFiles& files) {
      return files.contains(path) && userState.contains(path) &&
             files.at(path) == userState.at(path);
    };
    return is(before.Files) || is(after.Files);
  });
  if (input.ConsumeBool()) {
    test::TPowerCut power(input.ConsumeIntegralInRange(1, 40));
    power.FailAlso(&RefusedToRunningImage, false);
    Recover(folder);
    power.LoseUnflushed(folder);
  } else if (input.ConsumeBool()) {
    // ZELK, started by the user, holds one of the files while zelkupd starts.
    std::vector<std::u16string> files;
    for (const auto& [path, entry] : userState) {
      if (!entry.IsDirectory && !path.starts_with(kBackupFolderName)) {
        files.push_back(path);
      }
    }
    if (!files.empty()) {
      const TFileStream held(
          folder + files[input.ConsumeIntegralInRange<std::size_t>(0, files.size() - 1)],
          kOpenReadWriteExclusive);
      RecoverRefusing(folder);
    }
  }
  const std::u16string said = RecoverRefusing(folder);
  if (journalDeleted) {
    CheckJournalDeleted(folder, before, after, deletedComplete, said);
    Require(RecoverRefusing(folder) == KeptReport(folder),
            "every start after that names the kept files, and only them");
    CheckJournalDeleted(folder, before, after, deletedComplete, KeptReport(folder));
    const bool again = [&] {
      const TRefusing refusing;
      return Attempt(archive, folder);
    }();
    Require(again == installs, "a later attempt still installs");
    Require(!again || Split(folder).Files == after.Files, "and installs the release");
    return;
  }
  Require(said.empty() || said == kRestored || said == kCompleted,
          "the next start says at most that it finished or put back an interrupted update", said);
  Require(!DirectoryExists(KeptFolderPath(folder)), "nothing is kept while the journal is there");
  const test::TTreeSnapshot now = test::SnapshotTree(folder, false);
  for (const std::u16string& path : changes.Written) {
    if (userState.contains(path)) {
      Require(now.contains(path) && now.at(path) == userState.at(path),
              "the user's file is exactly theirs", path);
    }
  }
  CheckOutcome(folder, before, after, changes.Paths, mustBeNew);
  const bool isNew = Split(folder, changes.Paths).Files == [&] {
    TFiles files = after.Files;
    std::erase_if(files, [&](const auto& item) { return Within(item.first, changes.Paths); });
    return files;
  }();
  const TFiles& version = isNew ? after.Files : before.Files;
  for (const std::u16string& removed : changes.Removed) {
    for (const auto& [path, entry] : now) {
      if (!entry.IsDirectory && Within(path, {removed}) && !changes.Written.contains(path)) {
        Require(version.contains(path) && version.at(path) == entry,
                "below a removed path stand only files of the same version as the rest", path);
      }
    }
  }
  const test::TTreeSnapshot settled = WithoutDeletable(test::SnapshotTree(folder, false));
  Require(RecoverRefusing(folder).empty(), "the start after that says nothing");
  Require(test::SnapshotTree(folder, false) == settled,
          "and changes nothing but remove the old image of the updater");
}

}  // namespace
}  // namespace zelkupd::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static zelkupd::fuzz::TFuzzFolder root;
  FuzzedDataProvider input(data, size);
  zelkupd::fuzz::Run(input, root.Path());
  return 0;
}
