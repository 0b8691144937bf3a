// The Zip64 extended information (extra field block 0x0001) of central and local headers: the
// 64-bit values of the header fields that hold the marker.
#pragma once

#include <string_view>

#include "zip/zip_header.h"

namespace zelkupd {

inline constexpr std::uint16_t kZip64ExtraId = 0x0001;

enum class TExtraKind {
  Central,        // every block must lie inside the extra field
  Local,          // the sizes are needed: they are compared with the central ones
  LocalTrailing,  // flag bit 3: the sizes follow the data, the local ones are needed by nothing
};

// Replaces each field of `fields` that holds the marker by its value from the Zip64 block, where
// values stand only for the fields holding the marker, in the order uncompressed size, compressed
// size, local header offset (8 bytes each), disk start (4); a local header has the sizes only.
// Raises the zip read error for damage: a second Zip64 block; a marker whose value is missing
// (except in LocalTrailing, where the fields are left as they are); in a central header, blocks
// that overrun the extra field. A local header's blocks may overrun it, as padding some writers
// leave does, as long as the values needed lie inside it.
void ApplyZip64Extra(std::string_view extra, TExtraKind kind, TZipHeaderFields& fields);

}  // namespace zelkupd
