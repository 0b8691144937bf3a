#include "zip/compression_registry.h"

#include <map>

#include "runtime/errors.h"
#include "zip/stored_stream.h"
#include "zip/zdecompression_stream.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

std::unique_ptr<TStream> MakeStored(TStream& archive, TZipFile&, const TZipHeader&) {
  return std::make_unique<TStoredStream>(archive);
}

std::unique_ptr<TStream> MakeInflater(TStream& archive, TZipFile&, const TZipHeader&) {
  return std::make_unique<TZDecompressionStream>(archive);
}

// Filled on first use, which comes before any archive is read. The reader has no write side, so
// Deflated has no encoder; a stored entry's data passes through TStoredStream both ways.
std::map<TZipCompression, TCompressionHandler>& Registry() {
  static std::map<TZipCompression, TCompressionHandler> registry{
      {kZipStored, {MakeStored, MakeStored}},
      {kZipDeflated, {nullptr, MakeInflater}},
  };
  return registry;
}

}  // namespace

void RegisterCompressionHandler(TZipCompression method, TStreamConstructor encoder,
                                TStreamConstructor decoder) {
  Registry()[method] = {std::move(encoder), std::move(decoder)};
}

const TCompressionHandler& FindCompressionHandler(TZipCompression method) {
  const auto& registry = Registry();
  const auto found = registry.find(method);
  if (found == registry.end()) {
    throw EListError(texts::kItemNotFound);
  }
  return found->second;
}

}  // namespace zelkupd
