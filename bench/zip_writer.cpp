#include "zip_writer.h"

#include <algorithm>
#include <array>

#include "bench_error.h"

namespace zelkupd::bench {
namespace {

constexpr std::size_t kPiece = 256 * 1024;
constexpr std::uint64_t kMaxArchive = 0xffffffffULL;
constexpr std::size_t kMaxEntries = 0xffff;
constexpr std::uint16_t kVersion = 20;  // 2.0: deflate and folders
constexpr std::uint32_t kAttributeFolder = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;

template <std::size_t N>
void Store16(std::array<unsigned char, N>& record, std::size_t at, std::uint32_t value) {
  record[at] = static_cast<unsigned char>(value);
  record[at + 1] = static_cast<unsigned char>(value >> 8);
}

template <std::size_t N>
void Store32(std::array<unsigned char, N>& record, std::size_t at, std::uint32_t value) {
  Store16(record, at, value & 0xffff);
  Store16(record, at + 2, value >> 16);
}

}  // namespace

TZipWriter::TZipWriter(std::u16string_view path)
    : FFile(path, kCreateWriteExclusive), FInput(kPiece), FOutput(kPiece) {}

TZipWriter::~TZipWriter() {
  if (FLevel != -2) {
    deflateEnd(&FZStream);
  }
}

std::uint32_t TZipWriter::Offset() const {
  return static_cast<std::uint32_t>(FOffset);
}

void TZipWriter::Put(const void* bytes, std::size_t count) {
  if (FOffset + count > kMaxArchive) {
    throw EBenchError("archive would pass 4 GiB, beyond the reach of 32-bit offsets");
  }
  FFile.WriteBuffer(bytes, count);
  FOffset += count;
}

// The CRC-32 and sizes are zero until the data is written; then they are put in place.
void TZipWriter::BeginEntry(TWrittenEntry& entry) {
  if (FFinished || FEntries.size() == kMaxEntries) {
    throw EBenchError("no more entries fit into the archive");
  }
  entry.LocalHeaderOffset = Offset();
  std::array<unsigned char, 30> header{};
  Store32(header, 0, 0x04034b50);
  Store16(header, 4, kVersion);
  Store16(header, 8, entry.Method);
  Store32(header, 10, entry.DosTime);
  Store16(header, 26, static_cast<std::uint32_t>(entry.Name.size()));
  Put(header.data(), header.size());
  Put(entry.Name.data(), entry.Name.size());
  entry.DataOffset = FOffset;
}

void TZipWriter::AddFolder(std::string_view name, std::uint32_t dosTime) {
  TWrittenEntry entry;
  entry.Name = name;
  entry.DosTime = dosTime;
  entry.Crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
  BeginEntry(entry);
  FEntries.push_back(entry);
}

void TZipWriter::Deflate(TContentSource& content, std::uint32_t size, int level,
                         TWrittenEntry& entry) {
  if (FLevel != level) {
    if (FLevel != -2) {
      deflateEnd(&FZStream);
    }
    FZStream = z_stream{};
    if (deflateInit2(&FZStream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw EBenchError("zlib cannot start deflate");
    }
    FLevel = level;
  } else {
    deflateReset(&FZStream);
  }
  uLong crc = crc32(0, Z_NULL, 0);
  std::uint32_t left = size;
  std::uint64_t compressed = 0;
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    if (FZStream.avail_in == 0 && left > 0) {
      const auto n = static_cast<uInt>(std::min<std::size_t>(left, kPiece));
      content.Fill(FInput.data(), n);
      crc = crc32(crc, FInput.data(), n);
      FZStream.next_in = FInput.data();
      FZStream.avail_in = n;
      left -= n;
    }
    FZStream.next_out = FOutput.data();
    FZStream.avail_out = static_cast<uInt>(FOutput.size());
    result = deflate(&FZStream, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (result == Z_STREAM_ERROR) {
      throw EBenchError("zlib deflate failed");
    }
    const std::size_t produced = FOutput.size() - FZStream.avail_out;
    Put(FOutput.data(), produced);
    compressed += produced;
  }
  entry.Crc = static_cast<std::uint32_t>(crc);
  entry.CompressedSize = static_cast<std::uint32_t>(compressed);
}

void TZipWriter::AddFile(std::string_view name, std::uint16_t method, int level,
                         TContentSource& content, std::uint32_t size, std::uint32_t dosTime) {
  TWrittenEntry entry;
  entry.Name = name;
  entry.DosTime = dosTime;
  entry.Method = method;
  entry.UncompressedSize = size;
  BeginEntry(entry);
  if (method == kMethodDeflated) {
    Deflate(content, size, level, entry);
  } else {
    uLong crc = crc32(0, Z_NULL, 0);
    for (std::uint32_t left = size; left > 0;) {
      const auto n = static_cast<uInt>(std::min<std::size_t>(left, kPiece));
      content.Fill(FInput.data(), n);
      crc = crc32(crc, FInput.data(), n);
      Put(FInput.data(), n);
      left -= n;
    }
    entry.Crc = static_cast<std::uint32_t>(crc);
    entry.CompressedSize = size;
  }
  std::array<unsigned char, 12> sizes{};
  Store32(sizes, 0, entry.Crc);
  Store32(sizes, 4, entry.CompressedSize);
  Store32(sizes, 8, entry.UncompressedSize);
  FFile.SetPosition(entry.LocalHeaderOffset + 14);
  FFile.WriteBuffer(sizes.data(), sizes.size());
  FFile.SetPosition(static_cast<std::int64_t>(FOffset));
  FEntries.push_back(entry);
}

const std::vector<TWrittenEntry>& TZipWriter::Finish() {
  if (FFinished) {
    return FEntries;
  }
  const std::uint32_t directoryOffset = Offset();
  for (const TWrittenEntry& entry : FEntries) {
    std::array<unsigned char, 46> header{};
    Store32(header, 0, 0x02014b50);
    Store16(header, 4, kVersion);
    Store16(header, 6, kVersion);
    Store16(header, 10, entry.Method);
    Store32(header, 12, entry.DosTime);
    Store32(header, 16, entry.Crc);
    Store32(header, 20, entry.CompressedSize);
    Store32(header, 24, entry.UncompressedSize);
    Store16(header, 28, static_cast<std::uint32_t>(entry.Name.size()));
    Store32(header, 38, entry.IsFolder() ? kAttributeFolder : kAttributeArchive);
    Store32(header, 42, entry.LocalHeaderOffset);
    Put(header.data(), header.size());
    Put(entry.Name.data(), entry.Name.size());
  }
  const std::uint32_t directorySize = Offset() - directoryOffset;
  std::array<unsigned char, 22> end{};
  Store32(end, 0, 0x06054b50);
  Store16(end, 8, static_cast<std::uint32_t>(FEntries.size()));
  Store16(end, 10, static_cast<std::uint32_t>(FEntries.size()));
  Store32(end, 12, directorySize);
  Store32(end, 16, directoryOffset);
  Put(end.data(), end.size());
  FFinished = true;
  return FEntries;
}

}  // namespace zelkupd::bench
