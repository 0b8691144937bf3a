#include "pe_image.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

#include "bench_error.h"

namespace zelkupd::bench {
namespace {

class TImageBytes {
 public:
  explicit TImageBytes(std::vector<unsigned char> bytes) : FBytes(std::move(bytes)) {}

  std::uint32_t U16(std::uint64_t at) const { return Byte(at) | Byte(at + 1) << 8; }
  std::uint32_t U32(std::uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::string Text(std::uint64_t at) const {
    std::string text;
    while (at < FBytes.size() && FBytes[at] != 0) {
      text += static_cast<char>(FBytes[at++]);
    }
    return text;
  }
  std::uint64_t Size() const { return FBytes.size(); }

 private:
  std::uint32_t Byte(std::uint64_t at) const {
    if (at >= FBytes.size()) {
      throw EBenchError("truncated PE image");
    }
    return FBytes[at];
  }

  std::vector<unsigned char> FBytes;
};

struct TSection {
  std::uint32_t VirtualAddress;
  std::uint32_t VirtualSize;
  std::uint32_t RawOffset;
};

std::uint64_t FileOffset(const std::vector<TSection>& sections, std::uint32_t rva) {
  for (const TSection& section : sections) {
    if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.VirtualSize) {
      return std::uint64_t{rva} - section.VirtualAddress + section.RawOffset;
    }
  }
  throw EBenchError("PE address outside every section");
}

}  // namespace

TPeImage ReadPeImage(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw EBenchError("cannot read " + path);
  }
  std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file),
                                   std::istreambuf_iterator<char>()};
  const TImageBytes image(std::move(bytes));
  if (image.U16(0) != 0x5a4d) {
    throw EBenchError(path + " is not a PE image");
  }
  const std::uint64_t pe = image.U32(0x3c);
  if (image.U32(pe) != 0x00004550) {
    throw EBenchError(path + " is not a PE image");
  }
  TPeImage result;
  result.FileBytes = image.Size();
  const std::uint32_t machine = image.U16(pe + 4);
  result.Machine = machine == 0x8664  ? "x86_64"
                   : machine == 0x14c ? "i686"
                                      : std::to_string(machine);
  result.Stripped = image.U32(pe + 12) == 0 && image.U32(pe + 16) == 0;
  const std::uint32_t sectionCount = image.U16(pe + 6);
  const std::uint64_t optional = pe + 24;
  const std::uint32_t magic = image.U16(optional);
  // The data directories follow the fields common to both forms; import table is the second.
  const std::uint64_t directories = optional + (magic == 0x20b ? 112 : 96);
  const std::uint32_t importRva = image.U32(directories + 8);
  std::vector<TSection> sections;
  const std::uint64_t table = optional + image.U16(pe + 20);
  for (std::uint32_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t at = table + 40ULL * i;
    sections.push_back(
        {image.U32(at + 12), std::max(image.U32(at + 8), image.U32(at + 16)), image.U32(at + 20)});
  }
  if (importRva != 0) {
    for (std::uint64_t at = FileOffset(sections, importRva);; at += 20) {
      const std::uint32_t nameRva = image.U32(at + 12);
      if (nameRva == 0) {
        break;
      }
      result.Imports.push_back(image.Text(FileOffset(sections, nameRva)));
    }
  }
  return result;
}

std::vector<std::string> RuntimeImports(const TPeImage& image) {
  std::vector<std::string> found;
  for (const std::string& name : image.Imports) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread", "zlib"}) {
      if (lower.rfind(runtime, 0) == 0) {
        found.push_back(name);
      }
    }
  }
  return found;
}

}  // namespace zelkupd::bench
