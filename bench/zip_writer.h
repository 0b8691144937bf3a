// A streaming ZIP writer for the benchmark's archives: folder entries and stored or deflated
// files made with zlib, their CRC-32 and sizes written back into the local headers, then the
// central directory and its end record. Archives stay within 4 GiB and 65,535 entries.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "content.h"
#include "runtime/stream.h"

namespace zelkupd::bench {

inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;

// A local date and time in DOS form (time in the low 16 bits, date in the high 16 bits), to the
// even second below.
constexpr std::uint32_t DosDateTime(unsigned year, unsigned month, unsigned day, unsigned hour,
                                    unsigned minute, unsigned second) {
  return ((year - 1980) << 25 | month << 21 | day << 16) | (hour << 11 | minute << 5 | second / 2);
}

// When the benchmark's releases were built: a valid time for every reader.
inline constexpr std::uint32_t kReleaseDosTime = DosDateTime(2024, 5, 17, 12, 34, 56);

// What was written for one entry; the floor and the output checks work from these.
struct TWrittenEntry {
  std::string Name;  // as stored, "/" separated; a folder's ends in "/"
  std::uint16_t Method = kMethodStored;
  std::uint32_t DosTime = kReleaseDosTime;
  std::uint32_t Crc = 0;
  std::uint32_t CompressedSize = 0;
  std::uint32_t UncompressedSize = 0;
  std::uint32_t LocalHeaderOffset = 0;
  std::uint64_t DataOffset = 0;  // first byte of the entry's data in the archive

  bool IsFolder() const { return !Name.empty() && Name.back() == '/'; }
};

class TZipWriter {
 public:
  // Creates or replaces the archive file (a Windows-form path).
  explicit TZipWriter(std::u16string_view path);
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // `name` ends in "/"; `dosTime` is its modification time.
  void AddFolder(std::string_view name, std::uint32_t dosTime);
  // `size` bytes of `content`, stored or deflated at zlib level `level`, modified at `dosTime`.
  void AddFile(std::string_view name, std::uint16_t method, int level, TContentSource& content,
               std::uint32_t size, std::uint32_t dosTime);
  // Writes the central directory and the end record. Nothing may be added afterwards.
  const std::vector<TWrittenEntry>& Finish();
  // The archive's size so far.
  std::uint64_t Bytes() const { return FOffset; }

 private:
  void BeginEntry(TWrittenEntry& entry);
  void Put(const void* bytes, std::size_t count);
  void Deflate(TContentSource& content, std::uint32_t size, int level, TWrittenEntry& entry);
  std::uint32_t Offset() const;

  TFileStream FFile;
  std::uint64_t FOffset = 0;
  std::vector<TWrittenEntry> FEntries;
  z_stream FZStream{};
  int FLevel = -2;  // the level FZStream was made for; -2 before the first deflated entry
  std::vector<unsigned char> FInput;
  std::vector<unsigned char> FOutput;
  bool FFinished = false;
};

}  // namespace zelkupd::bench
