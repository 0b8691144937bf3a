// The floor of extraction: zlib's raw inflate and CRC-32 over an archive's entries held in memory,
// with no files, no reader and no check but the CRC-32. No extractor built on zlib beats it.
#pragma once

#include <zlib.h>

#include <string>
#include <vector>

#include "zip_writer.h"

namespace zelkupd::bench {

struct TFloorTime {
  double WallSeconds = 0;
  double CpuSeconds = 0;  // of this thread alone: less skewed than the wall time on a busy machine
};

class TInflateFloor {
 public:
  // Reads the whole archive (a native path) into memory; `entries` must outlive the floor.
  TInflateFloor(const std::string& archivePath, const std::vector<TWrittenEntry>& entries);
  ~TInflateFloor();
  TInflateFloor(const TInflateFloor&) = delete;
  TInflateFloor& operator=(const TInflateFloor&) = delete;

  // Decodes every file entry once and checks its CRC-32. Raises EBenchError when an entry's data
  // does not decode to its size and CRC-32.
  TFloorTime Run();

  // The whole archive as read.
  const std::vector<unsigned char>& Archive() const { return FArchive; }

 private:
  void Check(const TWrittenEntry& entry, uLong crc, std::uint64_t size) const;

  std::vector<unsigned char> FArchive;
  const std::vector<TWrittenEntry>& FEntries;
  z_stream FZStream{};
  std::vector<unsigned char> FOutput;
};

}  // namespace zelkupd::bench
