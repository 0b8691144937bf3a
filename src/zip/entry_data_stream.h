// One entry's compressed data as a stream of its own: the archive stream from the data's first
// byte up to its compressed size and no further, so no decoder reads into what follows it.
#pragma once

#include <algorithm>
#include <cstdint>

#include "runtime/stream.h"

namespace zelkupd {

// Positions are the archive's. Every read first puts the archive stream, which other readers move,
// back where this one left off.
class TEntryDataStream : public TStream {
 public:
  TEntryDataStream() = default;

  void Reset(TStream& archive, std::int64_t start, std::int64_t size) {
    FArchive = &archive;
    FPos = start;
    FEnd = start + size;
  }

  std::size_t Read(void* buffer, std::size_t count) override {
    if (FPos >= FEnd) {
      return 0;
    }
    const auto left = static_cast<std::uint64_t>(FEnd - FPos);
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
    if (FArchive->Position() != FPos) {
      FArchive->SetPosition(FPos);
    }
    const std::size_t n = FArchive->Read(buffer, wanted);
    FPos += static_cast<std::int64_t>(n);
    return n;
  }
  std::size_t Write(const void*, std::size_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    switch (origin) {
      case TSeekOrigin::Begin:
        FPos = offset;
        break;
      case TSeekOrigin::Current:
        FPos += offset;
        break;
      case TSeekOrigin::End:
        FPos = FEnd + offset;
        break;
    }
    return FPos;
  }
  std::int64_t Size() override { return FEnd; }

 private:
  TStream* FArchive = nullptr;
  std::int64_t FPos = 0;
  std::int64_t FEnd = 0;
};

}  // namespace zelkupd
