// The backward search for the end of central directory record in the archive's tail.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/stream.h"

namespace zelkupd {

// The fields after the record's signature, and where the record starts in the stream. The reader
// uses the total entry count, the central directory's size and offset and the comment length.
struct TEndRecord {
  std::int64_t Position = 0;
  std::uint16_t DiskNumber = 0;
  std::uint16_t CentralDirectoryDisk = 0;
  std::uint16_t EntriesOnDisk = 0;
  std::uint16_t TotalEntries = 0;
  std::uint32_t CentralDirectorySize = 0;
  std::uint32_t CentralDirectoryOffset = 0;
  std::uint16_t CommentLength = 0;
};

// Searches the last 65,535 bytes at most, in windows of 1028 bytes stepping 1024 bytes back, and
// takes the record nearest to the end. Fills `record` and the raw archive `comment` and returns
// true; false when there is none. A short read of a window raises the zip read error.
bool FindEndRecord(TStream& stream, TEndRecord& record, std::string& comment);

}  // namespace zelkupd
