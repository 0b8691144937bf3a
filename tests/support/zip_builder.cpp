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

std::uint32_t Size32(std::size_t size) {
  return static_cast<std::uint32_t>(size);
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
  std::vector<std::uint32_t> compressedSizes;
  for (const TZipEntryPlan& e : FEntries) {
    const std::string payload = e.Payload       ? *e.Payload
                                : e.Method == 8 ? RawDeflate(e.Data)
                                                : e.Data;
    const std::uint16_t flags =
        static_cast<std::uint16_t>(e.Flags | (e.DataDescriptor ? 0x0008 : 0));
    const std::uint32_t crc = Crc32(e.Data);
    compressedSizes.push_back(Size32(payload.size()));
    parts.LocalHeaders.push_back(out.size());
    out += e.LocalSignature.value_or(std::string("PK\3\4", 4));
    Put16(out, 20);
    Put16(out, flags);
    Put16(out, e.Method);
    Put32(out, e.DosTime);
    Put32(out, e.DataDescriptor ? 0 : crc);
    Put32(out, e.DataDescriptor ? 0 : Size32(payload.size()));
    Put32(out, e.DataDescriptor ? 0 : Size32(e.Data.size()));
    Put16(out, Size32(e.Name.size()));
    Put16(out, Size32(e.LocalExtra.size()));
    out += e.Name + e.LocalExtra;
    out += payload;
    if (e.DataDescriptor) {
      Put32(out, 0x08074b50);
      Put32(out, crc);
      Put32(out, Size32(payload.size()));
      Put32(out, Size32(e.Data.size()));
    }
  }
  parts.CentralDirectory = out.size();
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    const TZipEntryPlan& e = FEntries[i];
    out += e.CentralSignature.value_or(std::string("PK\1\2", 4));
    Put16(out, 0x0314);  // made by Unix, version 2.0
    Put16(out, 20);
    Put16(out, static_cast<std::uint16_t>(e.Flags | (e.DataDescriptor ? 0x0008 : 0)));
    Put16(out, e.Method);
    Put32(out, e.DosTime);
    Put32(out, e.CentralCrc.value_or(Crc32(e.Data)));
    Put32(out, compressedSizes[i]);
    Put32(out, e.CentralSize.value_or(Size32(e.Data.size())));
    Put16(out, Size32(e.Name.size()));
    Put16(out, Size32(e.CentralExtra.size()));
    Put16(out, Size32(e.Comment.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, e.ExternalAttributes);
    Put32(out, Size32(parts.LocalHeaders[i]));
    out += e.Name + e.CentralExtra + e.Comment;
  }
  parts.EndRecord = out.size();
  out += EndRecordBytes(DeclaredEntries.value_or(static_cast<std::uint16_t>(FEntries.size())),
                        Size32(parts.EndRecord - parts.CentralDirectory),
                        DeclaredDirectoryOffset.value_or(Size32(parts.CentralDirectory)),
                        static_cast<std::uint16_t>(Comment.size()));
  out += Comment;
  if (layout != nullptr) {
    *layout = parts;
  }
  return out;
}

}  // namespace zelkupd::test
