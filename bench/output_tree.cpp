#include "output_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>

#include "bench_error.h"
#include "runtime/datetime.h"
#include "runtime/files.h"
#include "runtime/text.h"

namespace zelkupd::bench {

void CheckOutputTree(const std::string& folder, const std::vector<TWrittenEntry>& entries) {
  std::vector<unsigned char> block(256 * 1024);
  for (const TWrittenEntry& entry : entries) {
    const std::string path = folder + entry.Name;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
      throw EBenchError(entry.Name + " is missing");
    }
    if (entry.IsFolder()) {
      if (!S_ISDIR(info.st_mode)) {
        throw EBenchError(entry.Name + " is not a folder");
      }
      continue;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      throw EBenchError(entry.Name + " cannot be read");
    }
    uLong crc = crc32(0, Z_NULL, 0);
    std::uint64_t size = 0;
    for (ssize_t n; (n = read(fd, block.data(), block.size())) > 0;) {
      crc = crc32(crc, block.data(), static_cast<uInt>(n));
      size += static_cast<std::uint64_t>(n);
    }
    close(fd);
    if (size != entry.UncompressedSize || crc != entry.Crc) {
      throw EBenchError(entry.Name + " differs from the archive's entry");
    }
  }
}

void CheckOutputTimes(const std::string& folder, const std::vector<TWrittenEntry>& entries) {
  for (const TWrittenEntry& entry : entries) {
    if (entry.IsFolder()) {
      continue;
    }
    TFileTime local;
    TFileTime expected;
    if (!SystemTimeToFileTime(DosDateTimeToSystemTime(entry.DosTime), local) ||
        !LocalFileTimeToFileTime(local, expected)) {
      throw EBenchError(entry.Name + " has a time that cannot be converted");
    }
    TFileTimes times;
    if (!GetFileTimes(Utf8ToUtf16(folder + entry.Name), times)) {
      throw EBenchError(entry.Name + " cannot be opened for its time");
    }
    if (times.LastWrite != expected) {
      throw EBenchError(entry.Name + " does not have its entry's time");
    }
  }
}

void RemoveOutputTree(const std::string& folder) {
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  if (error) {
    throw EBenchError("cannot remove " + folder + ": " + error.message());
  }
}

}  // namespace zelkupd::bench
