#include "zip/zdecompression_stream.h"

#include <algorithm>
#include <limits>

#include "runtime/errors.h"
#include "zip/zip_texts.h"

namespace zelkupd {

TCustomZStream::TCustomZStream(TStream& stream)
    : FStream(stream),
      FStreamStartPos(stream.Position()),
      FStreamPos(FStreamStartPos),
      FBuffer(new unsigned char[kBufferSize]) {}

namespace {
// zlib counts in 32-bit units; larger requests are served in pieces of this size.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

int Check(int result) {
  if (result < 0) {
    throw EZDecompressionError(texts::ZlibErrorText(result));
  }
  return result;
}
}  // namespace

TZDecompressionStream::TZDecompressionStream(TStream& source) : TCustomZStream(source) {
  Check(inflateInit2(&FZStream, -15));
}

TZDecompressionStream::~TZDecompressionStream() {
  inflateEnd(&FZStream);
}

std::size_t TZDecompressionStream::Read(void* buffer, std::size_t count) {
  // Another reader of the shared archive stream may have moved it since the last refill.
  if (FStream.Position() != FStreamPos) {
    FStream.SetPosition(FStreamPos);
  }
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t produced = 0;
  while (produced < count && !FEnded) {
    if (FZStream.avail_in == 0) {
      const std::size_t n = FStream.Read(FBuffer.get(), kBufferSize);
      if (n == 0) {
        return produced;
      }
      FZStream.next_in = FBuffer.get();
      FZStream.avail_in = static_cast<uInt>(n);
      FStreamPos = FStream.Position();
      if (FOnProgress) {
        FOnProgress(*this);
      }
    }
    const auto room = static_cast<uInt>(std::min(count - produced, kMaxPiece));
    FZStream.next_out = out + produced;
    FZStream.avail_out = room;
    FEnded = Check(inflate(&FZStream, Z_NO_FLUSH)) == Z_STREAM_END;
    produced += room - FZStream.avail_out;
  }
  // Read-ahead past the deflate data belongs to whatever follows it in the archive.
  if (FEnded && FZStream.avail_in != 0) {
    FStream.Seek(-static_cast<std::int64_t>(FZStream.avail_in), TSeekOrigin::Current);
    FStreamPos = FStream.Position();
    FZStream.avail_in = 0;
  }
  return produced;
}

std::size_t TZDecompressionStream::Write(const void*, std::size_t) {
  throw EZDecompressionError(texts::kInvalidZStreamOperation);
}

std::int64_t TZDecompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (offset != 0 || origin != TSeekOrigin::Current) {
    throw EZDecompressionError(texts::kInvalidZStreamOperation);
  }
  return static_cast<std::int64_t>(FZStream.total_out);
}

}  // namespace zelkupd
