// A small ZIP writer for the tests: stored, deflated and bit-3 entries, comments, raw names, odd
// flags and attributes, Zip64 records and extra fields, and overrides of recorded values, so each
// test makes the defect it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelkupd::test {

std::uint32_t Crc32(std::string_view data);
// Raw deflate (no zlib header or trailer), as ZIP stores it.
std::string RawDeflate(std::string_view data);
// Bytes that do not compress, the same for the same seed.
std::string NoiseBytes(std::size_t count, std::uint32_t seed = 1);
std::uint32_t DosDateTime(unsigned year, unsigned month, unsigned day, unsigned hour,
                          unsigned minute, unsigned second);
// An end of central directory record (signature and fixed fields, without the comment).
std::string EndRecordBytes(std::uint16_t entries, std::uint32_t directorySize,
                           std::uint32_t directoryOffset, std::uint16_t commentLength);

inline constexpr std::uint32_t kUnixSymbolicLinkAttributes = 0120777u << 16;

// Which fields of a header or of the end record hold the marker, their values being in a Zip64
// extra field block or in the Zip64 end record.
inline constexpr unsigned kZip64Uncompressed = 1;     // headers
inline constexpr unsigned kZip64Compressed = 2;       // headers
inline constexpr unsigned kZip64Offset = 4;           // central header
inline constexpr unsigned kZip64Disk = 8;             // central header
inline constexpr unsigned kZip64Entries = 1;          // end record
inline constexpr unsigned kZip64Size = 2;             // end record
inline constexpr unsigned kZip64DirectoryOffset = 4;  // end record

struct TZipEntryPlan {
  std::string Name{};           // raw bytes, as stored
  std::string Data{};           // the uncompressed content
  std::uint16_t Method = 0;     // 8 is deflated by the builder; any other stores Data as it is
  std::uint16_t Flags = 0;      // general purpose bits besides bit 3 (0 encrypted, 11 UTF-8)
  bool DataDescriptor = false;  // bit 3: zero CRC and sizes locally, a descriptor after the data
  std::uint32_t DosTime = DosDateTime(2021, 7, 15, 13, 45, 58);
  std::uint32_t ExternalAttributes = 0;
  std::string CentralExtra{};
  std::string LocalExtra{};
  std::string Comment{};
  std::optional<std::string> Payload{};        // the data bytes written instead of Data's
  std::optional<std::uint32_t> CentralCrc{};   // recorded instead of Data's CRC-32
  std::optional<std::uint64_t> CentralSize{};  // recorded uncompressed size instead of Data's
  std::optional<std::uint64_t> CentralCompressedSize{};  // recorded instead of the payload's size
  std::optional<std::uint64_t> CentralOffset{};  // recorded local header offset instead of its own
  // Fields written as the marker, their values in a Zip64 block before the other extra blocks. A
  // local header with bit 3 has zeros there, and its descriptor then has 64-bit sizes.
  unsigned Zip64Central = 0;
  unsigned Zip64Local = 0;
  std::optional<std::string> LocalSignature{};    // 4 bytes written instead of "PK\3\4"
  std::optional<std::string> CentralSignature{};  // 4 bytes written instead of "PK\1\2"
};

// Where the parts of the last archive built lie, in bytes from its start.
struct TZipLayout {
  std::vector<std::size_t> LocalHeaders;
  std::size_t CentralDirectory = 0;
  std::size_t Zip64EndRecord = 0;  // 0 when there is none
  std::size_t EndRecord = 0;
};

class TZipBuilder {
 public:
  TZipBuilder& Add(TZipEntryPlan entry);
  TZipBuilder& Stored(std::string name, std::string data);
  TZipBuilder& Deflated(std::string name, std::string data);

  std::string Build(TZipLayout* layout = nullptr) const;

  std::string Prefix;   // bytes before the first entry, counted in every offset
  std::string Comment;  // the archive comment
  std::optional<std::uint16_t> DeclaredEntries;
  std::optional<std::uint32_t> DeclaredDirectoryOffset;
  // A Zip64 end record and its locator before the end record, and which end record fields then
  // hold the marker; the others hold their values.
  bool Zip64End = false;
  unsigned EndMarkers = 0;
  std::optional<std::uint64_t> DeclaredZip64Entries;
  std::string Zip64Extensible;  // the Zip64 end record's extensible data sector

 private:
  std::vector<TZipEntryPlan> FEntries;
};

}  // namespace zelkupd::test
