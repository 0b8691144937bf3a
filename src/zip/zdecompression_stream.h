// The decoder of deflated entries: zlib's raw inflate over the archive stream, read ahead in
// 65,536-byte pieces, leaving the stream just after the deflate data when it ends.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "runtime/stream.h"

namespace zelkupd {

// What the zlib streams share: the source, where it stood, the zlib state and the input buffer.
class TCustomZStream : public TStream {
 public:
  static constexpr std::size_t kBufferSize = 65536;

  // Called after each refill of the input buffer.
  using TProgressEvent = std::function<void(TCustomZStream& sender)>;
  void SetOnProgress(TProgressEvent onProgress) { FOnProgress = std::move(onProgress); }

  // Where the source stood when the stream was made: the first byte of the compressed data.
  std::int64_t StartPosition() const { return FStreamStartPos; }

 protected:
  explicit TCustomZStream(TStream& stream);

  TStream& FStream;
  std::int64_t FStreamStartPos;
  std::int64_t FStreamPos;
  TProgressEvent FOnProgress;
  z_stream FZStream{};
  std::unique_ptr<unsigned char[]> FBuffer;
};

class TZDecompressionStream : public TCustomZStream {
 public:
  // Starts raw inflate (window bits -15); EZDecompressionError when zlib cannot.
  explicit TZDecompressionStream(TStream& source);
  ~TZDecompressionStream() override;

  // Up to `count` decoded bytes; fewer only at the end of the deflate data or of the source.
  // Corrupt data raises EZDecompressionError with zlib's text.
  std::size_t Read(void* buffer, std::size_t count) override;
  // Raises EZDecompressionError "Invalid ZStream operation!".
  std::size_t Write(const void* buffer, std::size_t count) override;
  // Only the position can be asked (offset 0 from the current position): the count of bytes
  // decoded. Any move raises EZDecompressionError "Invalid ZStream operation!".
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 private:
  bool FEnded = false;  // zlib reported the end of the deflate data
};

}  // namespace zelkupd
