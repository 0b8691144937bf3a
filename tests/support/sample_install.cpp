#include "support/sample_install.h"

#include "runtime/files.h"
#include "runtime/paths.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"

namespace zelkupd::test {

TFileTime OldInstallationTime() {
  TFileTime time;
  CalendarToFileTime({2019, 3, 0, 4, 5, 6, 8, 0}, time);
  return time;
}

void WriteOldInstallation(std::u16string_view folder) {
  const std::u16string root = IncludeTrailingBackslash(folder);
  ForceDirectories(root + u"doc");
  WriteFileBytes(root + u"ZELK.EXE", "old exe");
  WriteFileBytes(root + u"readme.txt", "old readme");
  WriteFileBytes(root + u"keep.ini", "the user's own settings");
  WriteFileBytes(root + u"doc\\manual.txt", "old manual");
  WriteFileBytes(root + u"doc\\old-only.txt", "only in the old release");
  SetTreeTimes(root, OldInstallationTime());
}

TZipBuilder Release(int corruptEntry) {
  const TZipEntryPlan entries[kReleaseEntries] = {
      {.Name = "ZELK.EXE", .Data = "new exe", .Method = 8},
      {.Name = "doc/", .DosTime = DosDateTime(2022, 2, 3, 4, 5, 6)},
      {.Name = "doc/manual.txt", .Data = "new manual"},
      {.Name = "plugins/"},
      {.Name = "plugins/a.dll", .Data = NoiseBytes(70000), .Method = 8},
      {.Name = "lib/x/y.dat", .Data = "y"},
      {.Name = "readme.txt", .Data = "new readme"},
      {.Name = "NEW.TXT", .Data = "brand new", .DosTime = DosDateTime(2022, 2, 3, 4, 5, 8)},
  };
  TZipBuilder builder;
  for (int i = 0; i < kReleaseEntries; ++i) {
    TZipEntryPlan entry = entries[i];
    if (i == corruptEntry) {
      entry.CentralCrc = Crc32(entry.Data) ^ 1u;
    }
    builder.Add(entry);
  }
  return builder;
}

}  // namespace zelkupd::test
