#include "support/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace zelkupd::test {
namespace {

void Put16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void Put64(std::string& out, std::uint64_t value) {
  Put32(out, static_cast<std::uint32_t>(value));
  Put32(out, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t Size32(std::uint64_t size) {
  return static_cast<std::uint32_t>(size);
}

// The 32-bit field, or the marker when its value goes into `zip64`.
std::uint32_t Field32(std::uint64_t value, bool marked, std::string& zip64) {
  if (!marked) {
    return Size32(value);
  }
  Put64(zip64, value);
  return 0xFFFFFFFF;
}

std::string Zip64Block(const std::string& values) {
  if (values.empty()) {
    return values;
  }
  std::string block;
  Put16(block, 0x0001);
  Put16(block, Size32(values.size()));
  return block + values;
}

}  // namespace

std::uint32_t Crc32(std::string_view data) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string RawDeflate(std::string_view data) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (result != Z_STREAM_END) {
    throw std::runtime_error("deflate did not finish");
  }
  return out;
}

std::string NoiseBytes(std::size_t count, std::uint32_t seed) {
  std::string out(count, '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (char& c : out) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    c = static_cast<char>(state & 0xFF);
  }
  return out;
}

std::uint32_t DosDateTime(unsigned year, unsigned month, unsigned day, unsigned hour,
                          unsigned minute, unsigned second) {
  const std::uint32_t date = ((year - 1980) << 9) | (month << 5) | day;
  const std::uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
  return (date << 16) | time;
}

std::string EndRecordBytes(std::uint16_t entries, std::uint32_t directorySize,
                           std::uint32_t directoryOffset, std::uint16_t commentLength) {
  std::string out;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, entries);
  Put16(out, entries);
  Put32(out, directorySize);
  Put32(out, directoryOffset);
  Put16(out, commentLength);
  return out;
}

TZipBuilder& TZipBuilder::Add(TZipEntryPlan entry) {
  FEntries.push_back(std::move(entry));
  return *this;
}

TZipBuilder& TZipBuilder::Stored(std::string name, std::string data) {
  return Add({.Name = std::move(name), .Data = std::move(data)});
}

TZipBuilder& TZipBuilder::Deflated(std::string name, std::string data) {
  return Add({.Name = std::move(name), .Data = std::move(data), .Method = 8});
}

std::string TZipBuilder::Build(TZipLayout* layout) const {
  TZipLayout parts;
  std::string out = Prefix;
  std::vector<std::uint64_t> compressedSizes;
  for (const TZipEntryPlan& e : FEntries) {
    const std::string payload = e.Payload       ? *e.Payload
                                : e.Method == 8 ? RawDeflate(e.Data)
                                                : e.Data;
    const std::uint16_t flags =
        static_cast<std::uint16_t>(e.Flags | (e.DataDescriptor ? 0x0008 : 0));
    const std::uint32_t crc = Crc32(e.Data);
    compressedSizes.push_back(payload.size());
    parts.LocalHeaders.push_back(out.size());
    std::string zip64;
    const std::uint64_t localSize = e.DataDescriptor ? 0 : e.Data.size();
    const std::uint64_t localCompressed = e.DataDescriptor ? 0 : payload.size();
    out += e.LocalSignature.value_or(std::string("PK\3\4", 4));
    Put16(out, e.Zip64Local != 0 ? 45 : 20);
    Put16(out, flags);
    Put16(out, e.Method);
    Put32(out, e.DosTime);
    Put32(out, e.DataDescriptor ? 0 : crc);
    // The Zip64 values go in the order uncompressed, compressed, the reverse of the fields'.
    const std::uint32_t size32 =
        Field32(localSize, (e.Zip64Local & kZip64Uncompressed) != 0, zip64);
    const std::uint32_t compressed32 =
        Field32(localCompressed, (e.Zip64Local & kZip64Compressed) != 0, zip64);
    Put32(out, compressed32);
    Put32(out, size32);
    const std::string extra = Zip64Block(zip64) + e.LocalExtra;
    Put16(out, Size32(e.Name.size()));
    Put16(out, Size32(extra.size()));
    out += e.Name + extra;
    out += payload;
    if (e.DataDescriptor) {
      Put32(out, 0x08074b50);
      Put32(out, crc);
      if (e.Zip64Local != 0) {
        Put64(out, payload.size());
        Put64(out, e.Data.size());
      } else {
        Put32(out, Size32(payload.size()));
        Put32(out, Size32(e.Data.size()));
      }
    }
  }
  parts.CentralDirectory = out.size();
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    const TZipEntryPlan& e = FEntries[i];
    std::string zip64;
    const std::uint32_t size32 = Field32(e.CentralSize.value_or(e.Data.size()),
                                         (e.Zip64Central & kZip64Uncompressed) != 0, zip64);
    const std::uint32_t compressed32 = Field32(e.CentralCompressedSize.value_or(compressedSizes[i]),
                                               (e.Zip64Central & kZip64Compressed) != 0, zip64);
    const std::uint32_t offset32 = Field32(e.CentralOffset.value_or(parts.LocalHeaders[i]),
                                           (e.Zip64Central & kZip64Offset) != 0, zip64);
    std::uint16_t disk = 0;
    if ((e.Zip64Central & kZip64Disk) != 0) {
      Put32(zip64, 0);
      disk = 0xFFFF;
    }
    const std::string extra = Zip64Block(zip64) + e.CentralExtra;
    out += e.CentralSignature.value_or(std::string("PK\1\2", 4));
    Put16(out, 0x0314);  // made by Unix, version 2.0
    Put16(out, e.Zip64Central != 0 ? 45 : 20);
    Put16(out, static_cast<std::uint16_t>(e.Flags | (e.DataDescriptor ? 0x0008 : 0)));
    Put16(out, e.Method);
    Put32(out, e.DosTime);
    Put32(out, e.CentralCrc.value_or(Crc32(e.Data)));
    Put32(out, compressed32);
    Put32(out, size32);
    Put16(out, Size32(e.Name.size()));
    Put16(out, Size32(extra.size()));
    Put16(out, Size32(e.Comment.size()));
    Put16(out, disk);
    Put16(out, 0);
    Put32(out, e.ExternalAttributes);
    Put32(out, offset32);
    out += e.Name + extra + e.Comment;
  }
  const std::size_t directoryEnd = out.size();
  const std::uint64_t directorySize = directoryEnd - parts.CentralDirectory;
  const std::uint64_t directoryOffset =
      DeclaredDirectoryOffset.value_or(Size32(parts.CentralDirectory));
  const std::uint16_t entries =
      DeclaredEntries.value_or(static_cast<std::uint16_t>(FEntries.size()));
  if (Zip64End) {
    parts.Zip64EndRecord = out.size();
    Put32(out, 0x06064b50);
    Put64(out, 44 + Zip64Extensible.size());
    Put16(out, 0x0314);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    const std::uint64_t total = DeclaredZip64Entries.value_or(FEntries.size());
    Put64(out, total);
    Put64(out, total);
    Put64(out, directorySize);
    Put64(out, parts.CentralDirectory);
    out += Zip64Extensible;
    Put32(out, 0x07064b50);
    Put32(out, 0);
    Put64(out, parts.Zip64EndRecord);
    Put32(out, 1);
  }
  parts.EndRecord = out.size();
  std::string end = EndRecordBytes(entries, Size32(directorySize), Size32(directoryOffset),
                                   static_cast<std::uint16_t>(Comment.size()));
  if (Zip64End) {
    const auto mark16 = [&](std::size_t at) { end[at] = end[at + 1] = '\xFF'; };
    if ((EndMarkers & kZip64Entries) != 0) {
      mark16(8);
      mark16(10);
    }
    if ((EndMarkers & kZip64Size) != 0) {
      mark16(12);
      mark16(14);
    }
    if ((EndMarkers & kZip64DirectoryOffset) != 0) {
      mark16(16);
      mark16(18);
    }
  }
  out += end + Comment;
  if (layout != nullptr) {
    *layout = parts;
  }
  return out;
}

}  // namespace zelkupd::test
