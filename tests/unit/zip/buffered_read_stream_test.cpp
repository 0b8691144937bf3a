// TBufferedReadStream: the same bytes as the file it stands for, whatever the reads and moves, with
// moves inside the window served without the source; and archives read through it by name.
#include <gtest/gtest.h>

#include <string>

#include "runtime/stream.h"
#include "runtime/text.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/buffered_read_stream.h"
#include "zip/zip_file.h"

namespace zelkupd {
namespace {

constexpr std::size_t kWindow = TBufferedReadStream::kWindowSize;

// A memory stream that counts the reads that reach it.
class TCountingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::size_t Read(void* buffer, std::size_t count) override {
    ++Reads;
    return TMemoryStream::Read(buffer, count);
  }
  int Reads = 0;
};

std::string ReadAt(TStream& stream, std::int64_t position, std::size_t count) {
  std::string bytes(count, '\0');
  stream.SetPosition(position);
  bytes.resize(stream.Read(bytes.data(), count));
  return bytes;
}

TEST(BufferedReadStreamTest, ReadsAndMovesGiveTheSourceBytes) {
  const std::string data = test::NoiseBytes(3 * kWindow + 1234, 7);
  TCountingStream source(data);
  TBufferedReadStream stream(source);
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(data.size()));
  // Across the window's end, from before the start of the window, a whole window and more at
  // once, a read cut short by the end of the data, and one at the end.
  const struct {
    std::int64_t Position;
    std::size_t Count;
  } reads[] = {{0, 30},
               {30, 65536},
               {kWindow - 10, 100},
               {5, 40},
               {100, kWindow + 3},
               {2 * kWindow, 61440},
               {static_cast<std::int64_t>(data.size()) - 50, 4096},
               {static_cast<std::int64_t>(data.size()), 10}};
  for (const auto& read : reads) {
    const auto at = static_cast<std::size_t>(read.Position);
    EXPECT_EQ(ReadAt(stream, read.Position, read.Count), data.substr(at, read.Count))
        << "at " << read.Position;
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(std::min(at + read.Count, data.size())));
  }
}

TEST(BufferedReadStreamTest, MovesInsideTheWindowCostNoSourceRead) {
  const std::string data = test::NoiseBytes(kWindow * 2, 3);
  TCountingStream source(data);
  TBufferedReadStream stream(source);
  EXPECT_EQ(ReadAt(stream, 0, 4), data.substr(0, 4));
  const int afterFirst = source.Reads;
  // The decoder's way: read ahead, give back the rest, read the next header.
  EXPECT_EQ(ReadAt(stream, 4, 65536), data.substr(4, 65536));
  stream.Seek(-60000, TSeekOrigin::Current);
  EXPECT_EQ(ReadAt(stream, stream.Position(), 30), data.substr(4 + 65536 - 60000, 30));
  EXPECT_EQ(source.Reads, afterFirst);
  EXPECT_EQ(ReadAt(stream, kWindow, 4), data.substr(kWindow, 4));
  EXPECT_EQ(source.Reads, afterFirst + 1);
}

TEST(BufferedReadStreamTest, StartsWhereTheSourceStoodAndRefusesMovesBeforeTheStart) {
  const std::string data = "0123456789";
  TMemoryStream source(data);
  source.SetPosition(4);
  TBufferedReadStream stream(source);
  EXPECT_EQ(stream.Position(), 4);
  EXPECT_EQ(stream.Seek(-5, TSeekOrigin::Current), -1);
  EXPECT_EQ(stream.Position(), 4);
  EXPECT_EQ(ReadAt(stream, 4, 3), "456");
  EXPECT_EQ(stream.Seek(-2, TSeekOrigin::End), 8);
  EXPECT_EQ(ReadAt(stream, 8, 5), "89");
  EXPECT_EQ(stream.Write("x", 1), 0u);
  EXPECT_EQ(source.Data(), std::vector<unsigned char>(data.begin(), data.end()));
}

// Entries whose headers and data straddle the window's borders, read from a file by name.
TEST(BufferedReadStreamTest, AnArchiveOfManyWindowsExtractsWhole) {
  test::TTempDir dir;
  test::TZipBuilder builder;
  std::vector<std::string> contents;
  for (std::uint32_t i = 0; i < 40; ++i) {
    contents.push_back(test::NoiseBytes(9000 + i * 3001, i + 1));
    // Appended: GCC 12 warns falsely (-Wrestrict) on a one-character literal plus a string.
    std::string name = "f";
    name += std::to_string(i);
    if (i % 2 == 0) {
      builder.Stored(name, contents.back());
    } else {
      builder.Deflated(name, contents.back() + std::string(5000, 'z'));
      contents.back() += std::string(5000, 'z');
    }
  }
  const std::string archive = builder.Build();
  ASSERT_GT(archive.size(), 3 * kWindow);
  test::WriteFileBytes(dir / u"a.zip", archive);
  TZipFile zip;
  zip.Open(dir / u"a.zip", TZipMode::zmRead);
  zip.ExtractAll(dir / u"out\\");
  for (std::size_t i = 0; i < contents.size(); ++i) {
    EXPECT_EQ(test::ReadFileBytes(dir / (u"out\\f" + Utf8ToUtf16(std::to_string(i)))), contents[i])
        << i;
  }
}

}  // namespace
}  // namespace zelkupd
