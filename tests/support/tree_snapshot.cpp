#include "support/tree_snapshot.h"

#include "runtime/files.h"
#include "runtime/paths.h"
#include "support/temp_dir.h"

namespace zelkupd::test {
namespace {

TTreeEntry Entry(const std::u16string& path, bool isDirectory, bool withTimes) {
  TTreeEntry entry;
  entry.IsDirectory = isDirectory;
  if (!isDirectory) {
    entry.Bytes = ReadFileBytes(path);
  }
  TFileTimes times;
  if (withTimes && GetFileTimes(path, times)) {
    entry.LastWrite = times.LastWrite;
#ifdef _WIN32
    entry.Creation = times.Creation;
#endif
  }
  return entry;
}

void Walk(const std::u16string& root, const std::u16string& relative, bool folderTimes,
          TTreeSnapshot& snapshot) {
  const std::u16string folder = relative.empty() ? ExcludeTrailingBackslash(root) : root + relative;
  for (const TDirEntry& item : ListDirectory(folder)) {
    const std::u16string path = relative.empty() ? item.Name : relative + u"\\" + item.Name;
    snapshot[path] = Entry(root + path, item.IsDirectory, !item.IsDirectory || folderTimes);
    if (item.IsDirectory) {
      Walk(root, path, folderTimes, snapshot);
    }
  }
}

}  // namespace

TTreeSnapshot SnapshotTree(std::u16string_view folder, bool folderTimes) {
  const std::u16string root = IncludeTrailingBackslash(folder);
  TTreeSnapshot snapshot;
  if (folderTimes) {
    snapshot[u""] = Entry(ExcludeTrailingBackslash(root), true, true);
  }
  Walk(root, u"", folderTimes, snapshot);
  return snapshot;
}

void SetTreeTimes(std::u16string_view folder, const TFileTime& time) {
  const std::u16string root = IncludeTrailingBackslash(folder);
  for (const auto& [path, entry] : SnapshotTree(root, false)) {
    SetFileTimes(root + path, time, time);
  }
  SetFileTimes(ExcludeTrailingBackslash(root), time, time);
}

void PrintTo(const TTreeEntry& entry, std::ostream* os) {
  *os << (entry.IsDirectory ? "folder" : "file \"" + entry.Bytes.substr(0, 40) + "\"")
      << " written " << entry.LastWrite.Ticks() << " created " << entry.Creation.Ticks();
}

}  // namespace zelkupd::test
