// Where the central directory lies and how many entries it holds: from the end record and, when a
// Zip64 end record locator stands right before it, from the Zip64 end record as well.
#pragma once

#include <cstdint>

#include "runtime/stream.h"
#include "zip/end_record.h"

namespace zelkupd {

struct TDirectoryBounds {
  std::uint64_t Entries = 0;
  std::int64_t Offset = 0;  // absolute in the stream, as the records give it
  std::int64_t Size = 0;
};

// The Zip64 end record is where its locator points and must end right before the locator (its
// size field, at least 44, counting an extensible data sector too). A field of the end record that
// holds the marker takes the Zip64 record's value; one that does not must equal it. The directory
// must end exactly where the records begin, must hold no more entries than 46-byte headers fit in
// it, and must be smaller than 4 GiB, the most the reader holds of it. Anything else raises the zip
// read error.
TDirectoryBounds LocateCentralDirectory(TStream& stream, const TEndRecord& record);

}  // namespace zelkupd
