#include "zip/directory_bounds.h"

#include <array>

#include "runtime/errors.h"
#include "zip/little_endian.h"
#include "zip/zip_header.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

constexpr std::int64_t kLocatorSize = 20;
constexpr std::int64_t kZip64RecordSize = 56;   // signature to the directory's offset
constexpr std::uint64_t kZip64RecordRest = 44;  // what its size field counts of that
constexpr std::uint64_t kSmallestCentralHeader = 4 + kCentralHeaderSize;

[[noreturn]] void Damaged() {
  throw EZipException(texts::kZipReadError);
}

// A field of the end record and the Zip64 record's value for it.
std::uint64_t Reconcile(std::uint64_t field, std::uint64_t marker, std::uint64_t zip64) {
  if (field != marker && field != zip64) {
    Damaged();
  }
  return zip64;
}

}  // namespace

TDirectoryBounds LocateCentralDirectory(TStream& stream, const TEndRecord& record) {
  std::uint64_t entries = record.TotalEntries;
  std::uint64_t size = record.CentralDirectorySize;
  std::uint64_t offset = record.CentralDirectoryOffset;
  std::int64_t end = record.Position;
  std::array<unsigned char, kLocatorSize> locator{};
  if (record.Position >= kLocatorSize + kZip64RecordSize) {
    const std::int64_t locatorAt = record.Position - kLocatorSize;
    stream.SetPosition(locatorAt);
    ReadExact(stream, locator.data(), locator.size());
    if (LoadLE32(locator.data()) == kZip64LocatorSignature) {
      const std::uint64_t at = LoadLE64(locator.data() + 8);
      if (at > static_cast<std::uint64_t>(locatorAt - kZip64RecordSize)) {
        Damaged();
      }
      std::array<unsigned char, kZip64RecordSize> zip64{};
      stream.SetPosition(static_cast<std::int64_t>(at));
      ReadExact(stream, zip64.data(), zip64.size());
      const std::uint64_t rest = LoadLE64(zip64.data() + 4);
      if (LoadLE32(zip64.data()) != kZip64EndRecordSignature || rest < kZip64RecordRest ||
          rest != static_cast<std::uint64_t>(locatorAt) - at - 12) {
        Damaged();
      }
      entries = Reconcile(entries, kZip64Marker16, LoadLE64(zip64.data() + 32));
      size = Reconcile(size, kZip64Marker32, LoadLE64(zip64.data() + 40));
      offset = Reconcile(offset, kZip64Marker32, LoadLE64(zip64.data() + 48));
      end = static_cast<std::int64_t>(at);
    }
  }
  const auto limit = static_cast<std::uint64_t>(end);
  if (offset > limit || size != limit - offset || size > kZip64Marker32 ||
      entries > size / kSmallestCentralHeader) {
    Damaged();
  }
  return {entries, static_cast<std::int64_t>(offset), static_cast<std::int64_t>(size)};
}

}  // namespace zelkupd
