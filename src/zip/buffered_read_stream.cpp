#include "zip/buffered_read_stream.h"

#include <algorithm>
#include <cstring>

namespace zelkupd {

TBufferedReadStream::TBufferedReadStream(TStream& source)
    : FSource(source),
      FSize(source.Size()),
      FPosition(source.Position()),
      FSourcePosition(FPosition),
      FWindow(std::make_unique_for_overwrite<unsigned char[]>(kWindowSize)) {}

std::size_t TBufferedReadStream::ReadSource(unsigned char* buffer, std::size_t count) {
  if (FSourcePosition != FPosition) {
    FSourcePosition = FSource.Seek(FPosition, TSeekOrigin::Begin);
    if (FSourcePosition != FPosition) {
      return 0;
    }
  }
  const std::size_t n = FSource.Read(buffer, count);
  FSourcePosition += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TBufferedReadStream::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t total = 0;
  while (total < count) {
    const std::int64_t offset = FPosition - FWindowStart;
    if (offset >= 0 && static_cast<std::uint64_t>(offset) < FWindowLength) {
      const auto at = static_cast<std::size_t>(offset);
      const std::size_t n = std::min(count - total, FWindowLength - at);
      std::memcpy(out + total, FWindow.get() + at, n);
      total += n;
      FPosition += static_cast<std::int64_t>(n);
      continue;
    }
    if (count - total >= kWindowSize) {
      const std::size_t n = ReadSource(out + total, count - total);
      total += n;
      FPosition += static_cast<std::int64_t>(n);
      break;
    }
    FWindowStart = FPosition;
    FWindowLength = ReadSource(FWindow.get(), kWindowSize);
    if (FWindowLength == 0) {
      break;
    }
  }
  return total;
}

std::size_t TBufferedReadStream::Write(const void*, std::size_t) {
  return 0;
}

std::int64_t TBufferedReadStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::Current) {
    base = FPosition;
  } else if (origin == TSeekOrigin::End) {
    base = FSize;
  }
  if (base + offset < 0) {
    return -1;
  }
  FPosition = base + offset;
  return FPosition;
}

}  // namespace zelkupd
