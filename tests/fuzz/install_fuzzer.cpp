// Fuzz target: the all-or-nothing installation as a property. The input chooses an installation
// and a release archive from a small vocabulary (names that reach one path through other
// spellings, letter cases and "./" prefixes, files where the archive has folders and the reverse,
// files already present, new folders) and one fault at one file operation of ExtractArchive over
// that installation: either that operation alone fails and the attempt undoes itself, or the power
// is cut there (every later operation fails and what was not forced to the disk is lost), after
// which the user may change one path before the next start recovers: write a file of their own,
// remove a file or a whole folder, or rewrite a file keeping its size and time (which makes it,
// to the undo, the file it was). The power may be cut again during that start, and the start
// after it recovers. What an undisturbed attempt leaves is the new installation. Then:
// - every file outside the changed path is, byte for byte and time for time, all old or all new;
// - a file the user wrote is exactly theirs; below a removed path stands nothing but old files
//   put back; a rewritten file that kept its size and time is the user's or the old one;
// - nothing of the attempt stays: no backup folder, and no folder it added under an old
//   installation unless the user's file is in it;
// - the next start says at most that it put an interrupted update back, and the one after it
//   says nothing and changes nothing.
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
#include "update/install_journal.h"

namespace zelkupd::fuzz {
namespace {

constexpr std::array<const char*, 3> kFolders = {"a", "A", "b"};
constexpr std::array<const char*, 4> kFiles = {"x.txt", "X.TXT", "y", "a"};
constexpr char16_t kRestored[] = u"前回中断したアップデートを元に戻しました.\r\n";

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

// Either any time, or one an entry may have: an installed file can then look exactly as an
// entry's file would, which is what the undo knows the attempt's files by.
TFileTime ChooseTime(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) {
    return LocalToUtcFileTime(DosDateTimeToSystemTime(
        EntryTime(static_cast<unsigned>(input.ConsumeIntegralInRange(1, 28)))));
  }
  TFileTime time;
  CalendarToFileTime({static_cast<std::uint16_t>(input.ConsumeIntegralInRange(1990, 2030)), 3, 0,
                      static_cast<std::uint16_t>(input.ConsumeIntegralInRange(1, 28)), 12, 0,
                      static_cast<std::uint16_t>(2 * input.ConsumeIntegralInRange(0, 29)), 0},
                     time);
  return time;
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

int gFailAt = 0;
int gOperations = 0;
bool FailOnce(TFaultPoint, std::u16string_view) {
  return ++gOperations == gFailAt;
}

enum class TChange { None, Written, Removed, Lookalike };

// Whether `path` is the changed path or lies below it.
bool Within(const std::u16string& path, const std::u16string& changed) {
  return !changed.empty() && (path == changed || path.starts_with(changed + u"\\"));
}

using TFiles = std::map<std::u16string, test::TTreeEntry>;
struct TSplit {
  TFiles Files;
  std::set<std::u16string> Folders;
};

// The files with their bytes and times, and the folders, leaving out `changed` and what is below.
TSplit Split(const std::u16string& folder, const std::u16string& changed) {
  TSplit split;
  for (auto& [path, entry] : test::SnapshotTree(folder, false)) {
    if (Within(path, changed)) {
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

// The folders that hold `path`: the user's file keeps them.
std::set<std::u16string> Holders(const std::u16string& path) {
  std::set<std::u16string> folders;
  for (std::size_t at = path.find(u'\\'); at != std::u16string::npos;
       at = path.find(u'\\', at + 1)) {
    folders.insert(path.substr(0, at));
  }
  return folders;
}

void CheckOutcome(const std::u16string& folder, TSplit before, TSplit after,
                  const std::u16string& changed) {
  for (TSplit* split : {&before, &after}) {
    std::erase_if(split->Files, [&](const auto& item) { return Within(item.first, changed); });
    std::erase_if(split->Folders, [&](const auto& path) { return Within(path, changed); });
  }
  const TSplit now = Split(folder, changed);
  const bool isOld = now.Files == before.Files;
  const bool isNew = now.Files == after.Files;
  Require(isOld || isNew, "every other file is all old or all new");
  const std::set<std::u16string> holders = Holders(changed);
  const auto within = [&](std::set<std::u16string> allowed) {
    allowed.insert(holders.begin(), holders.end());
    return Includes(allowed, now.Folders);
  };
  Require((isOld && within(before.Folders)) || (isNew && within(after.Folders)),
          "no folder of the attempt stays with the old files");
  Require(Includes(now.Folders, before.Folders), "no folder of the installation goes");
  Require(!DirectoryExists(BackupFolderPath(folder)), "no backup stays");
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
    installation.Items.push_back({WindowsPath(path), path.IsFolder,
                                  "old " + input.ConsumeBytesAsString(6), ChooseTime(input)});
  }
  test::TZipBuilder builder;
  for (int n = input.ConsumeIntegralInRange(1, 6); n > 0; --n) {
    const TPath path = ChoosePath(input);
    const std::string data =
        path.IsFolder ? "" : "new " + input.ConsumeBytesAsString(input.ConsumeBool() ? 6 : 20);
    const auto day = static_cast<unsigned>(input.ConsumeIntegralInRange(1, 28));
    builder.Add({.Name = EntryName(input, path),
                 .Data = data,
                 .Method = static_cast<std::uint16_t>(input.ConsumeBool() ? 8 : 0),
                 .DosTime = EntryTime(day)});
  }
  test::WriteFileBytes(archive, builder.Build());
  installation.Write(reference);
  installation.Write(folder);
  const TSplit before = Split(folder, u"");

  int operations = 0;
  {
    test::TPowerCut counter(0);
    const bool installed = Attempt(archive, reference);
    operations = counter.Operations();
    Require(installed || Split(reference, u"").Files == before.Files,
            "a failed attempt leaves the old installation");
  }
  Require(Recover(reference).empty(), "a start after an undisturbed attempt says nothing");
  const TSplit after = Split(reference, u"");
  Require(!DirectoryExists(BackupFolderPath(reference)), "an undisturbed attempt leaves no backup");

  const int faultAt = input.ConsumeIntegralInRange(1, operations + 1);
  std::u16string changed;
  TChange change = TChange::None;
  if (input.ConsumeBool()) {
    gFailAt = faultAt;
    gOperations = 0;
    SetFaultHook(&FailOnce);
    Attempt(archive, folder);
    SetFaultHook(nullptr);
  } else {
    {
      test::TPowerCut power(faultAt);
      Attempt(archive, folder);
      power.LoseUnflushed(folder);
    }
    // The user's change: mostly to a path that stands there now, maybe one the attempt wrote.
    std::vector<std::u16string> paths;
    for (const auto& [path, entry] : test::SnapshotTree(folder, false)) {
      if (!path.starts_with(kBackupFolderName)) {
        paths.push_back(path);
      }
    }
    paths.push_back(WindowsPath(ChoosePath(input)));
    const std::u16string path =
        paths[input.ConsumeIntegralInRange<std::size_t>(0, paths.size() - 1)];
    const std::u16string full = folder + path;
    const std::size_t separator = path.rfind(u'\\');
    switch (input.ConsumeIntegralInRange(0, 3)) {
      case 1:
        if (!DirectoryExists(full) && (separator == std::u16string::npos ||
                                       DirectoryExists(folder + path.substr(0, separator)))) {
          change = TChange::Written;
          test::WriteFileBytes(full, "the user's " + input.ConsumeBytesAsString(8));
        }
        break;
      case 2:
        if (FileExists(full)) {
          change = TChange::Removed;
          RemoveFile(full);
        } else if (DirectoryExists(full)) {
          change = TChange::Removed;
          test::RemoveTree(full);
        }
        break;
      case 3:
        if (FileExists(full)) {
          change = TChange::Lookalike;
          TFoundFile was;
          FindFile(full, was);
          std::string bytes = test::ReadFileBytes(full);
          for (char& byte : bytes) {
            byte = static_cast<char>(~byte);
          }
          test::WriteFileBytes(full, bytes);
          SetFileTimes(full, was.LastWrite, was.LastWrite);
        }
        break;
      default:
        break;
    }
    if (change != TChange::None) {
      changed = path;
    }
  }
  const test::TTreeSnapshot userState = test::SnapshotTree(folder, false);
  if (input.ConsumeBool()) {
    test::TPowerCut power(input.ConsumeIntegralInRange(1, 40));
    Recover(folder);
    power.LoseUnflushed(folder);
  }
  const std::u16string said = Recover(folder);
  Require(said.empty() || said == kRestored, "the next start says at most that it put it back",
          said);
  const test::TTreeSnapshot now = test::SnapshotTree(folder, false);
  if (change == TChange::Written) {
    Require(now.contains(changed) && now.at(changed) == userState.at(changed),
            "the user's file is exactly theirs", changed);
  }
  if (change == TChange::Removed) {
    for (const auto& [path, entry] : now) {
      Require(!Within(path, changed) || (entry.IsDirectory ? before.Folders.contains(path)
                                                           : before.Files.contains(path) &&
                                                                 before.Files.at(path) == entry),
              "below a removed path stand only old files put back", path);
    }
  }
  if (change == TChange::Lookalike) {
    const bool theirs = now.contains(changed) && now.at(changed) == userState.at(changed);
    const bool old = before.Files.contains(changed)
                         ? now.contains(changed) && now.at(changed) == before.Files.at(changed)
                         : !now.contains(changed);
    Require(theirs || old, "a file that kept its size and time is the user's or the old one",
            changed);
  }
  CheckOutcome(folder, before, after, changed);
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
