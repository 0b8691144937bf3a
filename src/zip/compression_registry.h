// The program-wide registry of compression methods: for each method number the factories of its
// encoder and decoder streams. Stored (0) and Deflated (8) are there from the start.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "runtime/stream.h"
#include "zip/zip_header.h"

namespace zelkupd {

class TZipFile;

using TZipCompression = std::uint16_t;

inline constexpr TZipCompression kZipStored = 0;
inline constexpr TZipCompression kZipDeflated = 8;

// Makes a stream over the archive stream for one entry, given its local header; the caller owns
// the result.
using TStreamConstructor = std::function<std::unique_ptr<TStream>(TStream& archive, TZipFile& zip,
                                                                  const TZipHeader& item)>;

struct TCompressionHandler {
  TStreamConstructor Encoder;  // the write side; empty where this program has none
  TStreamConstructor Decoder;
};

// Adds the method's factories or replaces the ones it has.
void RegisterCompressionHandler(TZipCompression method, TStreamConstructor encoder,
                                TStreamConstructor decoder);

// The method's factories; EListError "項目が見つかりません" when it is not registered.
const TCompressionHandler& FindCompressionHandler(TZipCompression method);

}  // namespace zelkupd
