#include "zip/end_record.h"

#include <algorithm>
#include <array>

#include "zip/little_endian.h"
#include "zip/zip_header.h"

namespace zelkupd {
namespace {

constexpr std::int64_t kSearchLimit = 0xFFFF;
constexpr std::int64_t kStep = 1024;
constexpr std::int64_t kWindow = kStep + 4;  // overlapping windows see a signature on the border
constexpr std::int64_t kRecordSize = 22;     // signature and fixed fields, without the comment

void ReadRecordAt(TStream& stream, std::int64_t position, TEndRecord& record,
                  std::string& comment) {
  std::array<unsigned char, kRecordSize - 4> fields{};
  record.Position = position;
  stream.SetPosition(position + 4);
  ReadExact(stream, fields.data(), fields.size());
  record.DiskNumber = LoadLE16(&fields[0]);
  record.CentralDirectoryDisk = LoadLE16(&fields[2]);
  record.EntriesOnDisk = LoadLE16(&fields[4]);
  record.TotalEntries = LoadLE16(&fields[6]);
  record.CentralDirectorySize = LoadLE32(&fields[8]);
  record.CentralDirectoryOffset = LoadLE32(&fields[12]);
  record.CommentLength = LoadLE16(&fields[16]);
  // A comment cut short by the archive's end keeps what is there: nothing reads it, and an
  // archive that is otherwise whole should not be refused for it.
  comment.assign(record.CommentLength, '\0');
  comment.resize(stream.Read(comment.data(), comment.size()));
}

}  // namespace

// Every start from the end of the archive backwards is examined once, nearest first. The fixed
// fields are read from the stream, not from the window: a record whose signature lies just before
// a window's border has its fields in the window searched before it, and taking only records
// wholly inside one window would miss archives with comments of 1007 to 1023 bytes (and the
// like at every later border).
bool FindEndRecord(TStream& stream, TEndRecord& record, std::string& comment) {
  const std::int64_t size = stream.Size();
  const std::int64_t limit = std::min(size, kSearchLimit);
  std::int64_t back = 4;
  if (back >= limit) {
    return false;
  }
  std::array<unsigned char, kWindow> window{};
  do {
    back = std::min(back + kStep, limit);
    const std::int64_t start = size - back;
    const auto count = static_cast<std::size_t>(std::min(kWindow, back));
    stream.SetPosition(start);
    ReadExact(stream, window.data(), count);
    // The signature must lie inside the window and the whole fixed record inside the archive.
    const std::int64_t last =
        std::min(static_cast<std::int64_t>(count) - 4, size - kRecordSize - start);
    for (std::int64_t i = last; i >= 0; --i) {
      if (LoadLE32(&window[static_cast<std::size_t>(i)]) == kEndRecordSignature) {
        ReadRecordAt(stream, start + i, record, comment);
        return true;
      }
    }
  } while (back < limit);
  return false;
}

}  // namespace zelkupd
