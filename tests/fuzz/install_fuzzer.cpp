// Fuzz target: the all-or-nothing installation as a property. The input chooses an installation
// and a release archive from a small vocabulary (names that reach one path through other
// spellings, letter cases and "./" prefixes, files where the archive has folders and the reverse,
// files already present, some of them with the very bytes the release has, new folders) and what
// goes wrong in ExtractArchive over that installation, at one chosen file operation:
// - that operation alone fails, or another program takes a staged file away there, and the
//   attempt fails or undoes itself in process;
// - a second run starts there: its start and its own attempt, or only its start;
// - the power is cut there (every later operation fails and what was not forced to the disk is
//   lost), maybe after the flush of the commit's "settled" line failed, its line landing on the
//   disk or not; then the user changes up to three paths (writes a file of their own, removes a
//   file or a whole folder, rewrites a file keeping its size and time, or puts an old file back
//   by hand) or extracts the release by hand over what the cut left, and the next start settles
//   it, itself maybe cut off by a power cut or meeting a file that ZELK holds open, and the start
//   after it.
// What an undisturbed attempt leaves is the new installation. Then:
// - every file outside the changed paths is, byte for byte and time for time, all old or all
//   new: new once the journal was at its name when the power went (unless an old file was put
//   back where the new one already stood), else as the cut left it;
// - a file the user wrote or rewrote keeping its size and time is exactly theirs; below a
//   removed path stand only files of the same version as the rest;
// - a release extracted by hand after a cut stays installed, every file of it;
// - a second run changes nothing while the attempt is under way, and the attempt still installs;
// - a failed attempt leaves the old installation, and one that succeeded the new one, even when
//   its commit could not be forced;
// - nothing of the attempt stays: no install's folder, and no folder it added under an old
//   installation unless a file of the user's is in it;
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
constexpr std::array<const char*, 4> kFiles = {"x.txt", "X.TXT", "y", "a"};
constexpr char16_t kRestored[] = u"前回中断したアップデートを元に戻しました.\r\n";
constexpr char16_t kCompleted[] = u"前回中断したアップデートを完了しました.\r\n";

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

std::u16string Recover(const std::u16string& folder) {
  test::FakePlatform fake;
  TRunContext ctx(fake);
  RecoverInstallation(ctx, folder);
  ctx.Console.Close();
  return test::DecodedStdOut(fake);
}

bool Attempt(const std::u16string& archive, const std::u16string& folder) {
  test::FakePlatform fake;
  TRunContext ctx(fake);
  return ExtractArchive(ctx, archive, folder);
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
bool FailOnce(TFaultPoint, std::u16string_view) {
  return ++gOperations == gAt;
}

// Another program (a virus scanner's quarantine) takes a staged file away at operation gAt.
std::u16string gStagedFolder;
bool TakeAStagedFile(TFaultPoint, std::u16string_view) {
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
  return false;
}

bool SettledFlush(TFaultPoint point, std::u16string_view path) {
  return point == TFaultPoint::Flush && path.ends_with(u"\\JOURNAL");
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
bool StartSecondRun(TFaultPoint, std::u16string_view) {
  if (++gOperations != gAt) {
    return false;
  }
  SetFaultHook(nullptr);
  const test::TTreeSnapshot before = test::SnapshotTree(gSecond.Folder, false);
  gSecond.Held = FileExists(LockPath(gSecond.Folder));
  gSecond.Said = Recover(gSecond.Folder);
  if (gSecond.Attempts) {
    Attempt(gSecond.Archive, gSecond.Folder);
  }
  gSecond.Ran = true;
  gSecond.Changed = test::SnapshotTree(gSecond.Folder, false) != before;
  SetFaultHook(&StartSecondRun);
  return false;
}

// The user's changes after a cut, each recorded by its path and kind. An old file put back by
// hand, with its old bytes and time, is no change of the user's own: it is the old version.
struct TUserChanges {
  std::set<std::u16string> Paths;
  std::set<std::u16string> Written;  // theirs, byte for byte, as long as they stand
  std::set<std::u16string> Removed;
  bool PutBack = false;
};

// An old file is put back only while the journal is there: once the attempt is settled, that is
// the user's own downgrade, which nothing can tell from their other files.
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
bool ExtractsAlike(const std::vector<std::string>& names) {
  std::map<std::u16string, std::u16string> spellings;
  std::set<std::u16string> files;
  std::set<std::u16string> folders;
  for (const std::string& name : names) {
    const std::u16string canonical = CanonicalEntryName(Utf8ToUtf16(name));
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
  Require(!DirectoryExists(BackupFolderPath(folder)), "no install's folder stays");
}

void Run(FuzzedDataProvider& input, const std::u16string& root) {
  const std::u16string reference = root + u"reference\\";
  const std::u16string folder = root + u"installation\\";
  const std::u16string archive = root + u"release.zip";
  test::RemoveTree(reference);
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
  installation.Write(folder);
  const TSplit before = Split(folder);

  int operations = 0;
  bool installs = false;
  {
    test::TPowerCut counter(0);
    installs = Attempt(archive, reference);
    operations = counter.Operations();
    Require(installs || Split(reference).Files == before.Files,
            "a failed attempt leaves the old installation");
  }
  Require(Recover(reference).empty(), "a start after an undisturbed attempt says nothing");
  const TSplit after = Split(reference);
  Require(!DirectoryExists(BackupFolderPath(reference)), "an undisturbed attempt leaves nothing");

  gAt = input.ConsumeIntegralInRange(1, operations + 1);
  gOperations = 0;
  TUserChanges changes;
  bool mustBeNew = false;
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
    case 3: {
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
          power.FailAlso(&SettledFlush, input.ConsumeBool());
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
      if (installs && input.ConsumeBool() && ExtractsAlike(names)) {
        ExtractByHand(archive, folder);
        mustBeNew = true;
      } else {
        for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
          ChangeOnePath(input, folder, before, journal, changes);
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
      Recover(folder);
    }
  }
  const std::u16string said = Recover(folder);
  Require(said.empty() || said == kRestored || said == kCompleted,
          "the next start says at most that it finished or put back an interrupted update", said);
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
  const test::TTreeSnapshot settled = test::SnapshotTree(folder, false);
  Require(Recover(folder).empty(), "the start after that says nothing");
  Require(test::SnapshotTree(folder, false) == settled, "and changes nothing");
}

}  // namespace
}  // namespace zelkupd::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static zelkupd::fuzz::TFuzzFolder root;
  FuzzedDataProvider input(data, size);
  zelkupd::fuzz::Run(input, root.Path());
  return 0;
}
