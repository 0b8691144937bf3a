#include "zip/entry_copy.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "runtime/errors.h"
#include "zip/zip_texts.h"

namespace zelkupd {

void CopyEntryData(TStream& decoder, const TZipHeader& central, bool trailingSizes, TStream& output,
                   std::u16string_view name) {
  std::vector<unsigned char> piece(trailingSizes ? kTrailingSizesPiece : kExactCopyPiece);
  std::size_t remaining = central.UncompressedSize;
  uLong crc = crc32(0L, Z_NULL, 0);
  const auto take = [&](std::size_t count) {
    crc = crc32(crc, piece.data(), static_cast<uInt>(count));
    output.WriteBuffer(piece.data(), count);
    remaining -= count;
  };
  if (!trailingSizes) {
    while (remaining > 0) {
      const std::size_t count = std::min(remaining, kExactCopyPiece);
      decoder.ReadBuffer(piece.data(), count);
      take(count);
    }
  } else {
    for (;;) {
      const std::size_t wanted = std::min(remaining, kTrailingSizesPiece);
      const std::size_t count = wanted == 0 ? 0 : decoder.Read(piece.data(), wanted);
      take(count);
      if (count < kTrailingSizesPiece) {
        break;
      }
    }
    if (remaining != 0) {
      throw EZipException(texts::SizeMismatchText(name));
    }
  }
  if (crc != central.CRC32) {
    throw EZipException(texts::CrcMismatchText(name));
  }
}

}  // namespace zelkupd
