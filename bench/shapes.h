// The archives the benchmark extracts, as plans of entries: many small files in nested folders,
// a few large files, and for the memory check one of more than 1 GiB and one of 65,535 entries;
// the next release rebuilt from one of them; and the making of an archive from its plan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "content.h"
#include "zip_writer.h"

namespace zelkupd::bench {

struct TEntryPlan {
  std::string Name;  // ends in "/" for a folder
  TContentKind Kind = TContentKind::Text;
  std::uint32_t Size = 0;
  std::uint16_t Method = kMethodDeflated;
  int Level = Z_DEFAULT_COMPRESSION;
  std::uint64_t Seed = 0;
  std::uint32_t DosTime = kReleaseDosTime;
};

struct TShape {
  std::string Name;  // one word, for file names
  std::string Title;
  std::vector<TEntryPlan> Entries;
};

// `fileCount` files of 1 to 64 KiB, as many in each octave of sizes, in folders up to four deep
// with an entry for each folder before its first file: three in eight text, one in four binary
// (both deflated), three in eight random (stored, as zip tools keep data they cannot shrink).
TShape SmallFilesShape(std::size_t fileCount);
inline constexpr std::size_t kMostEntries = 65535;

// The memory check's other extreme: the small-files folders filled with files of 64 bytes up to
// 65,535 entries, the most an archive without Zip64 holds. The reader keeps one header per entry.
TShape MostEntriesShape();
// Six files, 248 MiB in all: text, binary, random (deflated, and stored), and mixed.
TShape LargeFilesShape();
// Seven files, 1,216 MiB in all and an archive of about 1 GiB, deflated at level 1 where deflated.
TShape GigabyteShape();

// The next release of `release`, rebuilt: the same names and folders, every entry with a later
// time, and one file in twenty (every twentieth in the order of sizes, so that each size has its
// share) with new bytes of the same kind and size.
TShape RebuiltRelease(const TShape& release);
inline constexpr std::size_t kRebuiltOneIn = 20;

struct TArchive {
  std::u16string Path;  // Windows form
  std::vector<TWrittenEntry> Entries;
  std::uint64_t ArchiveBytes = 0;
  std::uint64_t DataBytes = 0;  // uncompressed, all files together
  std::size_t Files = 0;
  std::size_t Folders = 0;
  std::size_t Deflated = 0;
};

// Writes the shape's archive at `path` (Windows form).
TArchive MakeArchive(const TShape& shape, const std::u16string& path);

}  // namespace zelkupd::bench
