#include "zip/entry_copy.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/errors.h"
#include "support/zip_builder.h"

namespace zelkupd {
namespace {

// Records the size of every read and write; writes fail once `FailWrites` is set.
class TRecordingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::size_t Read(void* buffer, std::size_t count) override {
    Reads.push_back(count);
    return TMemoryStream::Read(buffer, count);
  }
  std::size_t Write(const void* buffer, std::size_t count) override {
    Writes.push_back(count);
    return FailWrites ? 0 : TMemoryStream::Write(buffer, count);
  }
  std::vector<std::size_t> Reads;
  std::vector<std::size_t> Writes;
  bool FailWrites = false;
};

TZipHeader Entry(const std::string& data) {
  TZipHeader header;
  header.CRC32 = test::Crc32(data);
  header.UncompressedSize = static_cast<std::uint32_t>(data.size());
  return header;
}

using TSizes = std::vector<std::size_t>;

TEST(CopyEntryDataTest, ExactSizeCopiesIn61440BytePieces) {
  const std::string data = test::NoiseBytes(150000);
  TRecordingStream decoder(data + "next entry");
  TRecordingStream output;
  CopyEntryData(decoder, Entry(data), false, output, u"a");
  EXPECT_EQ(output.Writes, (TSizes{61440, 61440, 27120}));
  EXPECT_EQ(decoder.Reads, (TSizes{61440, 61440, 27120}));
  EXPECT_EQ(std::string(output.Data().begin(), output.Data().end()), data);
}

TEST(CopyEntryDataTest, TrailingSizesCopyIn4096BytePiecesUpToTheRecordedSize) {
  for (const std::size_t size : {0u, 100u, 8192u, 10000u}) {
    const std::string data = test::NoiseBytes(size);
    TRecordingStream decoder(data + std::string(9000, 'x'));
    TRecordingStream output;
    CopyEntryData(decoder, Entry(data), true, output, u"a");
    EXPECT_EQ(std::string(output.Data().begin(), output.Data().end()), data) << size;
    EXPECT_EQ(decoder.Position(), static_cast<std::int64_t>(size)) << "read past the entry";
    for (const std::size_t n : output.Writes) {
      EXPECT_LE(n, 4096u);
    }
  }
}

TEST(CopyEntryDataTest, AFailedWriteRaisesInBothModes) {
  for (const bool trailingSizes : {false, true}) {
    TMemoryStream decoder("some data");
    TRecordingStream output;
    output.FailWrites = true;
    EXPECT_THROW(CopyEntryData(decoder, Entry("some data"), trailingSizes, output, u"a"),
                 EWriteError);
  }
}

}  // namespace
}  // namespace zelkupd
