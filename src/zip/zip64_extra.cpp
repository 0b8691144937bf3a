#include "zip/zip64_extra.h"

#include <optional>

#include "runtime/errors.h"
#include "zip/little_endian.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

[[noreturn]] void Damaged() {
  throw EZipException(texts::kZipReadError);
}

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// The Zip64 block's data, cut short where it overruns a local header's extra field.
std::optional<std::string_view> FindZip64Block(std::string_view extra, TExtraKind kind) {
  std::optional<std::string_view> found;
  while (!extra.empty()) {
    if (extra.size() < 4) {
      if (kind == TExtraKind::Central) {
        Damaged();
      }
      break;
    }
    const std::uint16_t id = LoadLE16(Bytes(extra));
    const std::size_t length = LoadLE16(Bytes(extra) + 2);
    extra.remove_prefix(4);
    const bool overruns = length > extra.size();
    if (overruns && kind == TExtraKind::Central) {
      Damaged();
    }
    if (id == kZip64ExtraId) {
      if (found) {
        Damaged();
      }
      found = extra.substr(0, length);
    }
    if (overruns) {
      break;
    }
    extra.remove_prefix(length);
  }
  return found;
}

}  // namespace

void ApplyZip64Extra(std::string_view extra, TExtraKind kind, TZipHeaderFields& fields) {
  std::string_view values = FindZip64Block(extra, kind).value_or(std::string_view());
  if (kind == TExtraKind::LocalTrailing) {
    return;
  }
  // Each value is taken only once the one before it is, so they stand in order.
  const auto next = [&](std::size_t width) {
    if (values.size() < width) {
      Damaged();
    }
    const std::uint64_t value = width == 8 ? LoadLE64(Bytes(values)) : LoadLE32(Bytes(values));
    values.remove_prefix(width);
    return value;
  };
  if (fields.UncompressedSize == kZip64Marker32) {
    fields.UncompressedSize = next(8);
  }
  if (fields.CompressedSize == kZip64Marker32) {
    fields.CompressedSize = next(8);
  }
  if (kind != TExtraKind::Central) {
    return;
  }
  if (fields.LocalHeaderOffset == kZip64Marker32) {
    fields.LocalHeaderOffset = next(8);
  }
  if (fields.DiskNumberStart == kZip64Marker16) {
    fields.DiskNumberStart = static_cast<std::uint32_t>(next(4));
  }
}

}  // namespace zelkupd
