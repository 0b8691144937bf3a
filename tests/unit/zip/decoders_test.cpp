// The decoder streams and their registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "runtime/errors.h"
#include "support/raises.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/compression_registry.h"
#include "zip/stored_stream.h"
#include "zip/zdecompression_stream.h"
#include "zip/zip_file.h"

namespace zelkupd {
namespace {

std::string ReadAll(TStream& stream, std::size_t piece) {
  std::string out;
  std::string buffer(piece, '\0');
  while (const std::size_t n = stream.Read(buffer.data(), piece)) {
    out.append(buffer, 0, n);
  }
  return out;
}

TEST(ZDecompressionStreamTest, RefillsIn64KiBPiecesAndLeavesTheSourceAfterTheData) {
  const std::string data = test::NoiseBytes(300000);
  const std::string deflated = test::RawDeflate(data);
  TMemoryStream source("HEAD" + deflated + "TAIL");
  source.SetPosition(4);
  TZDecompressionStream inflater(source);
  std::vector<std::int64_t> refills;
  inflater.SetOnProgress([&](TCustomZStream&) { refills.push_back(source.Position()); });
  EXPECT_EQ(ReadAll(inflater, 61440), data);
  EXPECT_EQ(inflater.StartPosition(), 4);
  EXPECT_EQ(inflater.Position(), 300000);
  const auto end = static_cast<std::int64_t>(4 + deflated.size() + 4);
  ASSERT_EQ(refills.size(), (deflated.size() + 65535) / 65536);
  for (std::size_t i = 0; i < refills.size(); ++i) {
    EXPECT_EQ(refills[i], std::min(4 + 65536 * static_cast<std::int64_t>(i + 1), end));
  }
  EXPECT_EQ(source.Position(), end - 4);
  EXPECT_EQ(ReadAll(source, 16), "TAIL");
  char byte = 0;
  EXPECT_EQ(inflater.Read(&byte, 1), 0u);
}

TEST(ZDecompressionStreamTest, ContinuesWhereItWasWhenTheSourceWasMoved) {
  const std::string data = test::NoiseBytes(150000, 3);
  TMemoryStream source(test::RawDeflate(data));
  TZDecompressionStream inflater(source);
  std::string first(1000, '\0');
  ASSERT_EQ(inflater.Read(first.data(), first.size()), first.size());
  source.SetPosition(0);
  EXPECT_EQ(first + ReadAll(inflater, 4096), data);
}

TEST(ZDecompressionStreamTest, WritesAndMovesRaise) {
  TMemoryStream source(test::RawDeflate("abc"));
  TZDecompressionStream inflater(source);
  char byte = 0;
  EXPECT_TRUE(test::Raises([&] { inflater.Write(&byte, 1); }, "EZDecompressionError",
                           u"Invalid ZStream operation!"));
  EXPECT_THROW(inflater.Seek(0, TSeekOrigin::Begin), EZDecompressionError);
  EXPECT_THROW(inflater.Size(), EZDecompressionError);
}

TEST(StoredStreamTest, PassesTheArchiveStreamStraightThrough) {
  TMemoryStream archive("headerDATAmore");
  archive.SetPosition(6);
  TStoredStream stored(archive);
  EXPECT_EQ(stored.StartPosition(), 6);
  EXPECT_EQ(ReadAll(stored, 4), "DATAmore");
  EXPECT_EQ(stored.Size(), 14);
}

// Hands out the stored bytes upper-cased.
class TUpperStream : public TStoredStream {
 public:
  using TStoredStream::TStoredStream;
  std::size_t Read(void* buffer, std::size_t count) override {
    const std::size_t n = TStoredStream::Read(buffer, count);
    for (std::size_t i = 0; i < n; ++i) {
      char& c = static_cast<char*>(buffer)[i];
      c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return n;
  }
};

TEST(CompressionRegistryTest, RegisteredMethodsDecodeAndReplaceEarlierOnes) {
  constexpr TZipCompression kMethod = 0x7F01;
  std::string seenName;
  RegisterCompressionHandler(kMethod, nullptr,
                             [&](TStream& archive, TZipFile&, const TZipHeader& local) {
                               seenName = local.FileName.Bytes;
                               return std::make_unique<TUpperStream>(archive);
                             });
  test::TTempDir dir;
  test::WriteFileBytes(dir / u"a.zip", test::TZipBuilder()
                                           .Add({.Name = "up.txt",
                                                 .Data = "abc",
                                                 .Method = kMethod,
                                                 .CentralCrc = test::Crc32("ABC")})
                                           .Build());
  TZipFile zip;
  zip.Open(dir / u"a.zip", TZipMode::zmRead);
  std::vector<std::uint8_t> bytes;
  zip.Read(0, bytes);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "ABC");
  EXPECT_EQ(seenName, "up.txt");
  RegisterCompressionHandler(kMethod, nullptr, [](TStream& archive, TZipFile&, const TZipHeader&) {
    return std::make_unique<TStoredStream>(archive);
  });
  EXPECT_THROW(zip.Read(0, bytes), EZipException) << "the replacement decodes, so the CRC fails";
  RegisterCompressionHandler(kMethod, nullptr, nullptr);
  EXPECT_THROW(zip.Read(0, bytes), EListError);
  EXPECT_THROW(FindCompressionHandler(12), EListError);
}

}  // namespace
}  // namespace zelkupd
