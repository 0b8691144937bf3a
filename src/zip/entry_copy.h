// Moving one entry's decoded data out of its decoder, in the two copy modes of the reader, with
// the CRC-32 and the size checked against the central directory as the data goes by.
#pragma once

#include <cstddef>
#include <string_view>

#include "runtime/stream.h"
#include "zip/zip_header.h"

namespace zelkupd {

inline constexpr std::size_t kExactCopyPiece = 61440;
inline constexpr std::size_t kTrailingSizesPiece = 4096;

// Reads the entry's data from `decoder` and writes it to `output`. Without trailing sizes (local
// flag bit 3 clear) exactly the central UncompressedSize is copied in pieces of at most 61,440
// bytes, and a decoder that runs dry first raises EReadError. With trailing sizes the copy goes in
// pieces of 4096 bytes until a short piece, but never beyond the central UncompressedSize (a stored
// entry's decoder would hand out the rest of the archive); ending short of it raises EZipException.
// A CRC-32 other than the central one raises EZipException; a failed write raises EWriteError.
// `name` is for the texts.
void CopyEntryData(TStream& decoder, const TZipHeaderFields& central, bool trailingSizes,
                   TStream& output, std::u16string_view name);

}  // namespace zelkupd
