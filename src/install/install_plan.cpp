#include "install/install_plan.h"

#include <algorithm>

#include "install/install_names.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/text.h"
#include "zip/entry_paths.h"
#include "zip/zip_file.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

[[noreturn]] void RaiseInTheWay(const std::u16string& path) {
  throw EFCreateError(FileCreateErrorText(ExpandFileName(path), kInvalidDataError),
                      kInvalidDataError);
}

std::uint32_t KeyHash(std::u16string_view key) {
  const std::size_t hash = std::hash<std::u16string_view>{}(key);
  return static_cast<std::uint32_t>(hash ^ (static_cast<std::uint64_t>(hash) >> 32));
}

std::u16string_view LastComponent(std::u16string_view path) {
  const std::size_t separator = path.rfind(u'\\');
  return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace

void TInstallPlan::TKeyIndex::Reserve(std::size_t targets) {
  std::size_t slots = 16;
  while (slots < 2 * targets) {
    slots *= 2;
  }
  FSlots.assign(slots, 0);
}

template <typename Matches>
std::uint32_t TInstallPlan::TKeyIndex::Find(std::u16string_view key, Matches matches) const {
  const std::uint32_t hash = KeyHash(key);
  const std::size_t mask = FSlots.size() - 1;
  for (std::size_t at = hash & mask; FSlots[at] != 0; at = (at + 1) & mask) {
    const auto target = static_cast<std::uint32_t>(FSlots[at] & 0xFFFFFFFFu) - 1;
    if (static_cast<std::uint32_t>(FSlots[at] >> 32) == hash && matches(target)) {
      return target;
    }
  }
  return kFolderEntry;
}

void TInstallPlan::TKeyIndex::Insert(std::u16string_view key, std::uint32_t target) {
  const std::uint32_t hash = KeyHash(key);
  const std::size_t mask = FSlots.size() - 1;
  std::size_t at = hash & mask;
  while (FSlots[at] != 0) {
    at = (at + 1) & mask;
  }
  FSlots[at] = (std::uint64_t{hash} << 32) | (target + 1);
}

TInstallPlan::TInstallPlan(const TZipFile& zip, std::u16string installDir, TEntryStamp stamp,
                           const TFoundFile* root, std::uint32_t firstNumber, const TOwnFiles& own)
    : FZip(zip),
      FInstallDir(std::move(installDir)),
      FStamp(stamp),
      FRootFound(root),
      FFirstNumber(firstNumber),
      FExecutableKey(OwnKey(own.Executable)),
      FSettingsKey(OwnKey(own.Settings)) {}

// The name the file system stores for it, which a short name or another letter case in the
// executable's path reaches too.
std::u16string TInstallPlan::OwnKey(const std::u16string& path) const {
  TFoundFile found;
  if (path.empty() || UpperCase(ExtractFilePath(path)) != UpperCase(FInstallDir) ||
      !FindFile(path, found) || found.IsDirectory) {
    return {};
  }
  return TargetKey(u"", found.Name);
}

TFileTime TInstallPlan::Stamp(std::uint32_t entry) const {
  return FStamp(FZip.GetFileFields(static_cast<int>(entry)).ModifiedDateTime);
}

std::u16string TInstallPlan::FullPath(std::u16string_view path) const {
  return InstalledPath(FInstallDir, path);
}

// The canonical spelling the reader gives the entry's name, relative to the installation folder.
std::u16string TInstallPlan::EntryPath(std::uint32_t entry) const {
  return CanonicalEntryName(FZip.GetFileName(static_cast<int>(entry)));
}

void TInstallPlan::Make() {
  const auto count = static_cast<std::uint32_t>(FZip.GetFileCount());
  FEntryTargets.reserve(count);
  FTargets.reserve(count);
  // Mostly an item a target, and a few for the folders: room enough that the list seldom has to
  // grow, which would hold it twice for a moment.
  FItems.reserve(count + count / 8 + 16);
  FTargetKeys.Reserve(count);
  Root();
  for (std::uint32_t entry = 0; entry < count; ++entry) {
    // The reader's checks of the name and its folder, before anything of the plan depends on it.
    FZip.PrepareOutput(static_cast<int>(entry), FInstallDir, true);
    const std::u16string path = EntryPath(entry);
    if (UpperCase(std::u16string_view(path).substr(0, path.find(u'\\'))) == kBackupFolderName) {
      throw EZipException(texts::UnsafeEntryNameText(FZip.GetFileName(static_cast<int>(entry))));
    }
    if (path.empty() || path.back() == u'\\') {
      TFolder& folder =
          PlanFolder(std::u16string_view(path).substr(0, path.empty() ? 0 : path.size() - 1), true);
      if (!folder.Blocked) {
        FItems.emplace_back(TItemKind::Stamp, entry, folder.Index);
      }
      FEntryTargets.push_back(kFolderEntry);
      continue;
    }
    const std::size_t separator = path.rfind(u'\\');
    const std::u16string_view folderPath = separator == std::u16string::npos
                                               ? std::u16string_view()
                                               : std::u16string_view(path).substr(0, separator);
    TFolder& folder = PlanFolder(folderPath, false);
    FEntryTargets.push_back(PlanFile(folder, LastComponent(path), entry));
  }
}

TInstallPlan::TFolder& TInstallPlan::NewFolder(TFolder* parent, std::u16string key,
                                               std::u16string path) {
  TFolder& folder = FFolders.emplace_back();
  folder.Parent = parent;
  folder.Index = static_cast<std::uint32_t>(FFolders.size() - 1);
  folder.Key = std::move(key);
  folder.Path = std::move(path);
  return folder;
}

TInstallPlan::TFolder& TInstallPlan::Root() {
  if (FFolders.empty()) {
    TFolder& root = NewFolder(nullptr, u"", u"");
    FFolderKeys.emplace(u"", &root);
    if (FRootFound != nullptr) {
      root.Existed = true;
      root.Creation = FRootFound->Creation;
      root.LastWrite = FRootFound->LastWrite;
      FItems.emplace_back(TItemKind::Times, 0, root.Index);
    }
  }
  return FFolders.front();
}

// Each folder is looked up on the disk once; an existing one has its times recorded the first
// time. A name that the file system resolves to a folder met before under another spelling (a
// short name) is that folder.
TInstallPlan::TFolder& TInstallPlan::ChildFolder(TFolder& parent, std::u16string_view name) {
  std::u16string key = TargetKey(parent.Key, name);
  if (const auto known = FFolderKeys.find(key); known != FFolderKeys.end()) {
    return *known->second;
  }
  TFoundFile found;
  const bool onDisk =
      !parent.Created && !parent.Blocked && FindFile(FullPath(JoinPath(parent.Path, name)), found);
  std::u16string stored = onDisk ? found.Name : std::u16string(name);
  std::u16string realKey = TargetKey(parent.Key, stored);
  if (const auto known = FFolderKeys.find(realKey); known != FFolderKeys.end()) {
    FFolderKeys.emplace(std::move(key), known->second);
    return *known->second;
  }
  TFolder& folder = NewFolder(&parent, realKey, JoinPath(parent.Path, stored));
  FFolderKeys.try_emplace(std::move(realKey), &folder);
  FFolderKeys.try_emplace(std::move(key), &folder);
  folder.Blocked =
      parent.Blocked || (onDisk && !found.IsDirectory) || FileTarget(folder.Key) != kFolderEntry;
  if (onDisk && found.IsDirectory) {
    folder.Existed = true;
    folder.Creation = found.Creation;
    folder.LastWrite = found.LastWrite;
    FItems.emplace_back(TItemKind::Times, 0, folder.Index);
  }
  return folder;
}

TInstallPlan::TFolder& TInstallPlan::PlanFolder(std::u16string_view path, bool mayBeBlocked) {
  TFolder* folder = &Root();
  std::size_t start = 0;
  while (start < path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    folder = &ChildFolder(*folder, path.substr(start, end - start));
    start = end + 1;
  }
  if (folder->Blocked) {
    if (!mayBeBlocked) {
      RaiseInTheWay(FullPath(folder->Path));
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
    FItems.emplace_back(TItemKind::Folder, 0, (*it)->Index);
  }
  return *folder;
}

// The plan looks at the disk as it is before the attempt: a file target that was not there is
// added, one that was is replaced or only stamped, as staging finds.
std::uint32_t TInstallPlan::PlanFile(TFolder& folder, std::u16string_view name,
                                     std::uint32_t entry) {
  const std::u16string key = TargetKey(folder.Key, name);
  std::uint32_t known = FileTarget(key);
  TFoundFile found;
  const bool onDisk = !folder.Created && known == kFolderEntry &&
                      FindFile(FullPath(JoinPath(folder.Path, name)), found);
  const std::u16string_view stored = onDisk ? std::u16string_view(found.Name) : name;
  const std::u16string realKey = TargetKey(folder.Key, stored);
  if ((onDisk && found.IsDirectory) || IsFolderKey(key) || IsFolderKey(realKey)) {
    RaiseInTheWay(FullPath(JoinPath(folder.Path, stored)));
  }
  if (known == kFolderEntry && realKey != key) {
    known = FileTarget(realKey);
  }
  if (known != kFolderEntry) {
    FTargets[known].LastEntry = entry;
    return known;
  }
  if (onDisk && folder.Parent == nullptr && realKey == FSettingsKey) {
    return kKeptEntry;
  }
  const auto target = static_cast<std::uint32_t>(FTargets.size());
  TFileTarget& file = FTargets.emplace_back();
  file.Folder = folder.Index;
  file.NameEntry = entry;
  file.LastEntry = entry;
  if (onDisk) {
    file.Running = folder.Parent == nullptr && realKey == FExecutableKey;
    file.OldFile = static_cast<std::uint32_t>(FOldFiles.size());
    FOldFiles.push_back(
        {.Creation = found.Creation, .Hidden = found.Hidden, .System = found.System});
    if (stored != name) {
      file.StoredName = true;
      FStoredNames.emplace(target, found.Name);
    }
  }
  FTargetKeys.Insert(realKey, target);
  if (realKey != key) {
    FAliases.emplace(key, target);
  }
  FItems.emplace_back(TItemKind::File, target, 0);
  return target;
}

std::u16string TInstallPlan::TargetPath(std::uint32_t target) const {
  const TFileTarget& file = FTargets[target];
  const std::u16string& folder = FFolders[file.Folder].Path;
  if (file.StoredName) {
    return JoinPath(folder, FStoredNames.at(target));
  }
  return JoinPath(folder, LastComponent(EntryPath(file.NameEntry)));
}

std::uint32_t TInstallPlan::FileTarget(const std::u16string& key) const {
  const std::uint32_t target = FTargetKeys.Find(
      key, [&](std::uint32_t candidate) { return UpperCase(TargetPath(candidate)) == key; });
  if (target != kFolderEntry) {
    return target;
  }
  const auto alias = FAliases.find(key);
  return alias != FAliases.end() ? alias->second : kFolderEntry;
}

bool TInstallPlan::IsFolderKey(const std::u16string& key) const {
  const auto folder = FFolderKeys.find(key);
  return folder != FFolderKeys.end() && !folder->second->Blocked;
}

void TInstallPlan::SetStaged(std::uint32_t target, bool changed, const TFileIdentity& old) {
  FTargets[target].Kind = changed ? TKind::Replace : TKind::Touch;
  TOldFile& file = FOldFiles[FTargets[target].OldFile];
  file.LastWrite = old.LastWrite;
  file.Size = old.Size;
  file.Crc = old.Crc;
}

// Placing the records in order moves a folder's time as extracting in place does when a name is
// added to it, and also when a file in it is put aside and its successor takes the name, which an
// extraction in place, writing over the file, does not. So a folder in which the attempt only
// replaced files since it was last stamped gets back, once the attempt is settled, the time it
// would have kept: its stamp, or the time it had. The installation folder has the install's own
// folder made and removed in it.
void TInstallPlan::Finish() {
  Root().Disturbed = true;
  for (const TItem& item : FItems) {
    TFolder& folder = FFolders[item.Folder];
    switch (item.Kind()) {
      case TItemKind::Times:
        break;
      case TItemKind::Folder:
        folder.Parent->Added = true;
        break;
      case TItemKind::File: {
        const TFileTarget& file = FTargets[item.Index()];
        if (file.Kind == TKind::Add) {
          FFolders[file.Folder].Added = true;
        } else if (file.Kind == TKind::Replace) {
          FFolders[file.Folder].Disturbed = true;
        }
        break;
      }
      case TItemKind::Stamp:
        folder.Stamped = true;
        folder.Added = false;
        folder.Disturbed = folder.Key.empty();
        folder.Stamp = Stamp(item.Index());
        break;
    }
  }
  for (const TFolder& folder : FFolders) {
    if ((folder.Existed || folder.Stamped) && folder.Disturbed && !folder.Added) {
      FRestores.push_back(&folder);
    }
  }
  std::sort(FRestores.begin(), FRestores.end(),
            [](const TFolder* a, const TFolder* b) { return a->Index > b->Index; });
}

TJournalRecord TInstallPlan::Record(std::size_t index) const {
  if (index >= FItems.size()) {
    const TFolder& folder = *FRestores[index - FItems.size()];
    return {.Action = TJournalAction::Restore,
            .Path = folder.Path,
            .Creation = folder.Stamped ? folder.Stamp : folder.Creation,
            .LastWrite = folder.Stamped ? folder.Stamp : folder.LastWrite};
  }
  const TItem& item = FItems[index];
  const TFolder& folder = FFolders[item.Folder];
  switch (item.Kind()) {
    case TItemKind::Times:
      return {.Action = TJournalAction::Times,
              .Path = folder.Path,
              .Creation = folder.Creation,
              .LastWrite = folder.LastWrite};
    case TItemKind::Folder:
      return {.Action = TJournalAction::Folder, .Path = folder.Path};
    case TItemKind::Stamp:
      return {
          .Action = TJournalAction::Stamp, .Path = folder.Path, .LastWrite = Stamp(item.Index())};
    case TItemKind::File:
      break;
  }
  const TFileTarget& file = FTargets[item.Index()];
  const TZipHeaderFields& info = FZip.GetFileFields(static_cast<int>(file.LastEntry));
  TJournalRecord record{.Action = TJournalAction::Add,
                        .Path = TargetPath(item.Index()),
                        .Number = Number(item.Index()),
                        .New = {info.UncompressedSize, Stamp(file.LastEntry), info.CRC32, true}};
  if (file.Kind != TKind::Add) {
    const TOldFile& old = OldFile(item.Index());
    record.Action = file.Kind == TKind::Replace ? TJournalAction::Replace : TJournalAction::Touch;
    record.Number = file.Kind == TKind::Replace ? record.Number : 0;
    record.Creation = old.Creation;
    record.Old = {old.Size, old.LastWrite, old.Crc, true};
  }
  return record;
}

}  // namespace zelkupd
