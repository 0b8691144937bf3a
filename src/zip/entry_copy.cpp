#include "zip/entry_copy.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "runtime/errors.h"
#include "zip/zip_texts.h"

namespace zelkupd {

void CopyEntryData(TStream& decoder, const TZipHeaderFields& central, bool trailingSizes,
                   TStream& output, std::u16string_view name) {
  // Only what the decoder put into a piece is read from it: zeroing the piece first would cost as
  // much as copying a small entry.
  const auto piece = std::make_unique_for_overwrite<unsigned char[]>(
      trailingSizes ? kTrailingSizesPiece : kExactCopyPiece);
  std::uint64_t remaining = central.UncompressedSize;
  uLong crc = crc32(0L, Z_NULL, 0);
  const auto take = [&](std::size_t count) {
    crc = crc32(crc, piece.get(), static_cast<uInt>(count));
    output.WriteBuffer(piece.get(), count);
    remaining -= count;
  };
  if (!trailingSizes) {
    while (remaining > 0) {
      const auto count =
          static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kExactCopyPiece));
      decoder.ReadBuffer(piece.get(), count);
      take(count);
    }
  } else {
    for (;;) {
      const auto wanted =
          static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kTrailingSizesPiece));
      const std::size_t count = wanted == 0 ? 0 : decoder.Read(piece.get(), wanted);
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
