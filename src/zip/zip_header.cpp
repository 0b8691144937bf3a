#include "zip/zip_header.h"

#include "runtime/errors.h"
#include "zip/little_endian.h"
#include "zip/zip_texts.h"

namespace zelkupd {

void DecodeLocalHeader(const unsigned char* bytes, TZipHeaderFields& header) {
  header.RequiredVersion = LoadLE16(bytes);
  header.Flag = LoadLE16(bytes + 2);
  header.CompressionMethod = LoadLE16(bytes + 4);
  header.ModifiedDateTime = LoadLE32(bytes + 6);
  header.CRC32 = LoadLE32(bytes + 10);
  header.CompressedSize = LoadLE32(bytes + 14);
  header.UncompressedSize = LoadLE32(bytes + 18);
  header.FileNameLength = LoadLE16(bytes + 22);
  header.ExtraFieldLength = LoadLE16(bytes + 24);
}

// The central header is the local one's fields behind a "made by" version, then the fields that
// only the central directory keeps.
void DecodeCentralHeader(const unsigned char* bytes, TZipHeaderFields& header) {
  header.MadeByVersion = LoadLE16(bytes);
  DecodeLocalHeader(bytes + 2, header);
  header.FileCommentLength = LoadLE16(bytes + 28);
  header.DiskNumberStart = LoadLE16(bytes + 30);
  header.InternalAttributes = LoadLE16(bytes + 32);
  header.ExternalAttributes = LoadLE32(bytes + 34);
  header.LocalHeaderOffset = LoadLE32(bytes + 38);
}

std::uint32_t NameCodePage(std::uint16_t flag) {
  return (flag & kFlagUtf8) != 0 ? kCodePageUtf8 : kCodePage437;
}

void ReadExact(TStream& stream, void* buffer, std::size_t count) {
  if (count != 0 && stream.Read(buffer, count) != count) {
    throw EZipException(texts::kZipReadError);
  }
}

}  // namespace zelkupd
