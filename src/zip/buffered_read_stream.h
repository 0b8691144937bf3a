// The archive as the reader reads it: a window of its bytes held in memory, so that the many
// small reads and moves of reading entries (headers, names, the decoder's read-ahead given back)
// cost no call into the system. Read-only; the file must not change while it is open, which the
// reader ensures by opening it without sharing.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/stream.h"

namespace zelkupd {

class TBufferedReadStream : public TStream {
 public:
  // Large enough to hold several of the decoder's 65,536-byte refills and the small entries and
  // headers between them; reads of a whole window or more bypass it.
  static constexpr std::size_t kWindowSize = 256 * 1024;

  // Starts at the source's current position; the source's size is taken once, here.
  explicit TBufferedReadStream(TStream& source);

  std::size_t Read(void* buffer, std::size_t count) override;
  // Writes nothing: the archive is only read.
  std::size_t Write(const void* buffer, std::size_t count) override;
  // Moves without a system call; a move before the start fails with -1 and leaves the position.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return FSize; }

 private:
  // Reads from the source at FPosition, moving the source there first if it stands elsewhere.
  std::size_t ReadSource(unsigned char* buffer, std::size_t count);

  TStream& FSource;
  std::int64_t FSize;
  std::int64_t FPosition;
  std::int64_t FSourcePosition;  // where the source stands
  std::int64_t FWindowStart = 0;
  std::size_t FWindowLength = 0;  // bytes of the file held, from FWindowStart
  std::unique_ptr<unsigned char[]> FWindow;
};

}  // namespace zelkupd
