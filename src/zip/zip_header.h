// The records of the ZIP format as the reader keeps them: the entry header with its fields in
// central-directory order, the signatures and flag bits, and the exact reads that load records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/codepage.h"
#include "runtime/stream.h"

namespace zelkupd {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
inline constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
inline constexpr std::uint32_t kZip64EndRecordSignature = 0x06064b50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;

// What a 16- or 32-bit field holds when its value is in a Zip64 record instead.
inline constexpr std::uint16_t kZip64Marker16 = 0xFFFF;
inline constexpr std::uint32_t kZip64Marker32 = 0xFFFFFFFF;

inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;

// Sizes of the fixed parts that follow each record's signature.
inline constexpr std::size_t kCentralHeaderSize = 42;
inline constexpr std::size_t kLocalHeaderSize = 26;

// Raw name bytes and the code page they are written in.
struct TCodePageString {
  std::string Bytes;
  std::uint32_t CodePage = kCodePage437;
};

// The numeric fields of an entry, in the central directory file header's order after its
// signature; the local header fills RequiredVersion through ExtraFieldLength only. The sizes, the
// offset and the disk are as wide as their Zip64 values: a field holding the marker is replaced by
// its value from the Zip64 extra field (zip64_extra) once the header is read.
struct TZipHeaderFields {
  std::uint16_t MadeByVersion = 0;
  std::uint16_t RequiredVersion = 0;
  std::uint16_t Flag = 0;
  std::uint16_t CompressionMethod = 0;
  std::uint32_t ModifiedDateTime = 0;  // DOS format: time in the low 16 bits, date in the high
  std::uint32_t CRC32 = 0;
  std::uint64_t CompressedSize = 0;
  std::uint64_t UncompressedSize = 0;
  std::uint16_t FileNameLength = 0;
  std::uint16_t ExtraFieldLength = 0;
  std::uint16_t FileCommentLength = 0;
  std::uint32_t DiskNumberStart = 0;
  std::uint16_t InternalAttributes = 0;
  std::uint32_t ExternalAttributes = 0;
  std::uint64_t LocalHeaderOffset = 0;
};

// One entry: the numeric fields, then the raw name, extra field and comment.
struct TZipHeader : TZipHeaderFields {
  TCodePageString FileName;
  std::vector<std::uint8_t> ExtraField;
  std::string FileComment;
};

// Fills the numeric fields from the 42 bytes after a central header's signature.
void DecodeCentralHeader(const unsigned char* bytes, TZipHeaderFields& header);

// Fills RequiredVersion through ExtraFieldLength from the 26 bytes after a local header's
// signature; the other fields are left as they are.
void DecodeLocalHeader(const unsigned char* bytes, TZipHeaderFields& header);

// The code page a name is tagged with: UTF-8 when the flag says so, else code page 437.
std::uint32_t NameCodePage(std::uint16_t flag);

// Exactly `count` bytes from the archive, or EZipException with the zip read error.
void ReadExact(TStream& stream, void* buffer, std::size_t count);

}  // namespace zelkupd
