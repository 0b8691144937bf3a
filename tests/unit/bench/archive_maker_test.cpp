// The benchmark's archives: what the writer records is what the reader finds, the contents are
// the same bytes however they are drawn, and each kind of content compresses as it claims, so a
// timing is never taken of a broken or mislabelled archive.
#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <string>
#include <vector>

#include "content.h"
#include "shapes.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/zip_file.h"

namespace zelkupd {
namespace {

using bench::TContentKind;
using bench::TContentSource;

std::string Draw(TContentKind kind, std::uint64_t seed, const std::vector<std::size_t>& pieces) {
  TContentSource source(kind, seed);
  std::string bytes;
  for (const std::size_t piece : pieces) {
    std::string part(piece, '\0');
    source.Fill(reinterpret_cast<unsigned char*>(part.data()), part.size());
    bytes += part;
  }
  return bytes;
}

TEST(BenchArchiveTest, SmallFilesReadBackAsWritten) {
  test::TTempDir dir;
  const bench::TShape shape = bench::SmallFilesShape(300);
  const bench::TArchive archive = bench::MakeArchive(shape, dir / u"small.zip");
  EXPECT_EQ(archive.Files, 300u);
  EXPECT_GT(archive.Deflated, 0u);
  EXPECT_LT(archive.Deflated, archive.Files);
  TZipFile zip;
  zip.Open(archive.Path, TZipMode::zmRead);
  ASSERT_EQ(zip.GetFileCount(), static_cast<int>(archive.Entries.size()));
  std::set<std::string> folders;
  for (int i = 0; i < zip.GetFileCount(); ++i) {
    const bench::TWrittenEntry& written = archive.Entries[static_cast<std::size_t>(i)];
    const bench::TEntryPlan& plan = shape.Entries[static_cast<std::size_t>(i)];
    ASSERT_EQ(written.Name, plan.Name);
    const TZipHeader header = zip.GetFileInfo(i);
    EXPECT_EQ(header.CompressionMethod, written.Method) << plan.Name;
    EXPECT_EQ(header.CRC32, written.Crc) << plan.Name;
    EXPECT_EQ(header.CompressedSize, written.CompressedSize) << plan.Name;
    // Each folder's entry comes before anything in it, as zip tools write them.
    const std::string parent =
        plan.Name.substr(0, plan.Name.find_last_of('/', plan.Name.size() - 2) + 1);
    EXPECT_TRUE(parent.empty() || folders.count(parent) == 1) << plan.Name;
    if (written.IsFolder()) {
      folders.insert(plan.Name);
      continue;
    }
    std::vector<std::uint8_t> bytes;
    zip.Read(i, bytes);  // raises on a CRC-32 or size other than the central directory's
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Draw(plan.Kind, plan.Seed, {plan.Size}))
        << plan.Name;
    EXPECT_GE(plan.Size, 1024u);
    EXPECT_LT(plan.Size, 65536u);
  }
}

// What the rebuilt-release run installs over the release: the same names, folders and sizes, every
// entry later, and new bytes in exactly one file in twenty, in every octave of sizes.
TEST(BenchArchiveTest, RebuiltReleaseChangesEveryTimeAndTheBytesOfOneFileInTwenty) {
  test::TTempDir dir;
  const bench::TShape shape = bench::SmallFilesShape(400);
  bench::MakeArchive(shape, dir / u"release.zip");
  bench::MakeArchive(bench::RebuiltRelease(shape), dir / u"rebuilt.zip");
  TZipFile release;
  TZipFile rebuilt;
  release.Open(dir / u"release.zip", TZipMode::zmRead);
  rebuilt.Open(dir / u"rebuilt.zip", TZipMode::zmRead);
  ASSERT_EQ(rebuilt.GetFileCount(), release.GetFileCount());
  std::size_t changed = 0;
  std::set<std::size_t> changedOctaves;
  for (int i = 0; i < release.GetFileCount(); ++i) {
    const TZipHeader before = release.GetFileInfo(i);
    const TZipHeader after = rebuilt.GetFileInfo(i);
    ASSERT_EQ(rebuilt.GetFileName(i), release.GetFileName(i));
    EXPECT_GT(after.ModifiedDateTime, before.ModifiedDateTime) << i;
    EXPECT_EQ(after.UncompressedSize, before.UncompressedSize) << i;
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
    release.Read(i, oldBytes);
    rebuilt.Read(i, newBytes);
    if (newBytes != oldBytes) {
      ++changed;
      changedOctaves.insert(std::bit_width(newBytes.size() / 1024) - 1);
    }
  }
  EXPECT_EQ(changed, 400 / bench::kRebuiltOneIn);
  EXPECT_EQ(changedOctaves, (std::set<std::size_t>{0, 1, 2, 3, 4, 5}));
}

TEST(BenchArchiveTest, ContentIsTheSameHoweverItIsDrawn) {
  for (const TContentKind kind :
       {TContentKind::Text, TContentKind::Binary, TContentKind::Random, TContentKind::Mixed}) {
    const std::string whole = Draw(kind, 42, {300000});
    EXPECT_EQ(Draw(kind, 42, {7, 65529, 100000, 1, 134463}), whole) << ContentKindName(kind);
    EXPECT_NE(Draw(kind, 43, {300000}), whole) << ContentKindName(kind);
  }
}

TEST(BenchArchiveTest, EachKindCompressesAsItClaims) {
  const auto ratio = [](TContentKind kind) {
    const std::string data = Draw(kind, 9, {1 << 20});
    return static_cast<double>(test::RawDeflate(data).size()) / static_cast<double>(data.size());
  };
  EXPECT_LT(ratio(TContentKind::Text), 0.4);
  EXPECT_GT(ratio(TContentKind::Binary), 0.4);
  EXPECT_LT(ratio(TContentKind::Binary), 0.8);
  EXPECT_GT(ratio(TContentKind::Random), 0.99);
  EXPECT_GT(ratio(TContentKind::Mixed), 0.6);
  EXPECT_LT(ratio(TContentKind::Mixed), 0.75);
}

}  // namespace
}  // namespace zelkupd
