#include "zip/end_record.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/zip_builder.h"

namespace zelkupd {
namespace {

using test::TZipBuilder;

// A memory stream that records where each read started and how much it asked for.
class TRecordingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::size_t Read(void* buffer, std::size_t count) override {
    Reads.emplace_back(Position(), count);
    return TMemoryStream::Read(buffer, count);
  }
  std::vector<std::pair<std::int64_t, std::size_t>> Reads;
};

// Behind a long stub, so that no window is cut short by the start of the file.
std::string ArchiveWithComment(std::string comment) {
  TZipBuilder builder;
  builder.Prefix = std::string(70000, 'p');
  builder.Stored("a.txt", "abc");
  builder.Comment = std::move(comment);
  return builder.Build();
}

TEST(FindEndRecordTest, StepsBackInOverlappingWindowsOfTheTail) {
  TRecordingStream stream(ArchiveWithComment(std::string(3000, 'c')));
  const auto size = static_cast<std::int64_t>(stream.Data().size());
  TEndRecord record;
  std::string comment;
  ASSERT_TRUE(FindEndRecord(stream, record, comment));
  ASSERT_GE(stream.Reads.size(), 3u);
  const std::vector<std::pair<std::int64_t, std::size_t>> windows(stream.Reads.begin(),
                                                                  stream.Reads.begin() + 3);
  EXPECT_EQ(windows, (std::vector<std::pair<std::int64_t, std::size_t>>{
                         {size - 1028, 1028}, {size - 2052, 1028}, {size - 3076, 1028}}));
  EXPECT_EQ(record.TotalEntries, 1);
  EXPECT_EQ(comment, std::string(3000, 'c'));
}

// Comment lengths that put the record at each side of a window border, up to the last one found.
TEST(FindEndRecordTest, FindsTheRecordWhereverItsFieldsLie) {
  for (const std::size_t length : {0u, 1u, 1006u, 1007u, 1015u, 1023u, 1024u, 2047u, 65513u}) {
    const std::string comment = test::NoiseBytes(length, 7);
    TMemoryStream stream(ArchiveWithComment(comment));
    TEndRecord record;
    std::string found;
    ASSERT_TRUE(FindEndRecord(stream, record, found)) << length;
    EXPECT_EQ(found, comment) << length;
    EXPECT_EQ(record.TotalEntries, 1) << length;
  }
}

TEST(FindEndRecordTest, NeverReadsBeyondTheLastBytesLimit) {
  TRecordingStream stream(ArchiveWithComment(std::string(65514, 'c')));
  TEndRecord record;
  std::string comment;
  EXPECT_FALSE(FindEndRecord(stream, record, comment));
  const auto size = static_cast<std::int64_t>(stream.Data().size());
  for (const auto& [position, count] : stream.Reads) {
    EXPECT_GE(position, size - 65535);
    EXPECT_LE(count, 1028u);
  }
}

TEST(FindEndRecordTest, TheSignatureNearestTheEndWins) {
  TMemoryStream stream(ArchiveWithComment("before " + test::EndRecordBytes(7, 0, 0, 0) + " after"));
  TEndRecord record;
  std::string comment;
  ASSERT_TRUE(FindEndRecord(stream, record, comment));
  EXPECT_EQ(record.TotalEntries, 7);
  EXPECT_EQ(comment, "");
}

TEST(FindEndRecordTest, ASignatureTooNearTheEndIsNoRecord) {
  const std::string comment = "tail PK\x05\x06 and 12 more";
  TMemoryStream stream(ArchiveWithComment(comment));
  TEndRecord record;
  std::string found;
  ASSERT_TRUE(FindEndRecord(stream, record, found));
  EXPECT_EQ(found, comment);
  for (const std::size_t size : {0u, 4u, 5u, 21u}) {
    TMemoryStream tiny(test::EndRecordBytes(0, 0, 0, 0).substr(0, size));
    EXPECT_FALSE(FindEndRecord(tiny, record, found)) << size;
  }
  TMemoryStream empty(test::EndRecordBytes(0, 0, 0, 0));
  EXPECT_TRUE(FindEndRecord(empty, record, found));
}

}  // namespace
}  // namespace zelkupd
