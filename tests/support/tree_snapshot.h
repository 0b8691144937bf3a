// Everything a folder holds, recursively, with bytes and times, so a test can tell whether an
// installation is exactly as it was.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "runtime/datetime.h"

namespace zelkupd::test {

struct TTreeEntry {
  bool IsDirectory = false;
  std::string Bytes{};
  TFileTime LastWrite{};
  TFileTime Creation{};  // compared on Windows only; the native bindings keep none
  friend bool operator==(const TTreeEntry&, const TTreeEntry&) = default;
};

// Keyed by the path relative to the folder, in Windows form; the folder itself is "" when
// `folderTimes` is set. Without `folderTimes` a folder's times are left out (zero).
using TTreeSnapshot = std::map<std::u16string, TTreeEntry>;

TTreeSnapshot SnapshotTree(std::u16string_view folder, bool folderTimes);

// Sets the creation and last-write times of the folder and of everything below it.
void SetTreeTimes(std::u16string_view folder, const TFileTime& time);

void PrintTo(const TTreeEntry& entry, std::ostream* os);

}  // namespace zelkupd::test
