// The decoder of stored entries: the stream it is given, passed straight through. The reader gives
// it the entry's data alone (TEntryDataStream), which ends at the compressed size.
#pragma once

#include <cstdint>

#include "runtime/stream.h"

namespace zelkupd {

class TStoredStream : public TStream {
 public:
  explicit TStoredStream(TStream& stream) : FStream(stream), FPos(stream.Position()) {}

  std::size_t Read(void* buffer, std::size_t count) override { return FStream.Read(buffer, count); }
  std::size_t Write(const void* buffer, std::size_t count) override {
    return FStream.Write(buffer, count);
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    return FStream.Seek(offset, origin);
  }
  std::int64_t Size() override { return FStream.Size(); }

  // Where the archive stream stood when the entry's data began.
  std::int64_t StartPosition() const { return FPos; }

 private:
  TStream& FStream;
  std::int64_t FPos;
};

}  // namespace zelkupd
