#include "inflate_floor.h"

#include <time.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "bench_error.h"

namespace zelkupd::bench {
namespace {

// Output goes to one buffer that stays in the cache and is summed as it fills; pieces from
// 32 KiB to a whole entry measured within noise of each other here.
constexpr std::size_t kOutputPiece = 256 * 1024;

}  // namespace

TInflateFloor::TInflateFloor(const std::string& archivePath,
                             const std::vector<TWrittenEntry>& entries)
    : FEntries(entries), FOutput(kOutputPiece) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(archivePath.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) {
    throw EBenchError("cannot read " + archivePath);
  }
  std::fseek(file.get(), 0, SEEK_END);
  FArchive.resize(static_cast<std::size_t>(std::ftell(file.get())));
  std::fseek(file.get(), 0, SEEK_SET);
  if (std::fread(FArchive.data(), 1, FArchive.size(), file.get()) != FArchive.size()) {
    throw EBenchError("short read of " + archivePath);
  }
  if (inflateInit2(&FZStream, -15) != Z_OK) {
    throw EBenchError("zlib cannot start inflate");
  }
}

TInflateFloor::~TInflateFloor() {
  inflateEnd(&FZStream);
}

void TInflateFloor::Check(const TWrittenEntry& entry, uLong crc, std::uint64_t size) const {
  if (crc != entry.Crc || size != entry.UncompressedSize) {
    throw EBenchError("the floor decoded " + entry.Name + " wrongly");
  }
}

TFloorTime TInflateFloor::Run() {
  const auto start = std::chrono::steady_clock::now();
  timespec cpuStart{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
  for (const TWrittenEntry& entry : FEntries) {
    if (entry.IsFolder()) {
      continue;
    }
    unsigned char* data = FArchive.data() + entry.DataOffset;
    if (entry.Method == kMethodStored) {
      Check(entry, crc32(crc32(0, Z_NULL, 0), data, entry.UncompressedSize),
            entry.UncompressedSize);
      continue;
    }
    inflateReset(&FZStream);
    FZStream.next_in = data;
    FZStream.avail_in = entry.CompressedSize;
    uLong crc = crc32(0, Z_NULL, 0);
    int result = Z_OK;
    while (result == Z_OK) {
      FZStream.next_out = FOutput.data();
      FZStream.avail_out = static_cast<uInt>(FOutput.size());
      result = inflate(&FZStream, Z_NO_FLUSH);
      crc = crc32(crc, FOutput.data(), static_cast<uInt>(FOutput.size() - FZStream.avail_out));
    }
    if (result != Z_STREAM_END) {
      throw EBenchError("the floor cannot inflate " + entry.Name);
    }
    Check(entry, crc, FZStream.total_out);
  }
  timespec cpuEnd{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
              static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9};
}

}  // namespace zelkupd::bench
