#include "zip/zip_file.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "support/raises.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

using test::TTempDir;
using test::TZipBuilder;

std::u16string WriteArchive(const TTempDir& dir, const std::string& bytes) {
  test::WriteFileBytes(dir / u"a.zip", bytes);
  return dir / u"a.zip";
}

TEST(ZipFileTest, ListsEntriesWithTheirHeadersNamesAndComments) {
  TTempDir dir;
  TZipBuilder builder;
  builder.Add({.Name = "\x81"
                       "ber.txt",
               .Data = "abc",
               .DosTime = 0x52EF6D7D,
               .CentralExtra = std::string("XY\0\0", 4),
               .Comment = "\x84"});
  builder.Add({.Name = "日本語/", .Flags = 0x0800, .ExternalAttributes = 0x10});
  builder.Deflated("b.txt", std::string(500, 'b'));
  builder.Comment = "archive \x81";
  TZipFile zip;
  zip.Open(WriteArchive(dir, builder.Build()), TZipMode::zmRead);
  ASSERT_EQ(zip.GetFileCount(), 3);
  EXPECT_EQ(zip.GetFileName(0), u"über.txt");
  EXPECT_EQ(zip.GetFileName(1), u"日本語/");
  EXPECT_EQ(zip.GetFileComment(0), u"ä");
  EXPECT_EQ(zip.Comment(), u"archive ü");
  EXPECT_FALSE(zip.Utf8Support());
  const TZipHeader first = zip.GetFileInfo(0);
  EXPECT_EQ(first.ModifiedDateTime, 0x52EF6D7Du);
  EXPECT_EQ(first.CRC32, test::Crc32("abc"));
  EXPECT_EQ(first.UncompressedSize, 3u);
  EXPECT_EQ(first.FileName.CodePage, 437u);
  EXPECT_EQ(first.ExtraField, (std::vector<std::uint8_t>{'X', 'Y', 0, 0}));
  EXPECT_EQ(first.FileComment, "\x84");
  EXPECT_EQ(zip.GetFileInfo(1).FileName.CodePage, 65001u);
  EXPECT_EQ(zip.GetFileInfo(1).ExternalAttributes, 0x10u);
  const TZipHeader third = zip.GetFileInfo(2);
  EXPECT_EQ(third.CompressionMethod, 8);
  EXPECT_LT(third.CompressedSize, third.UncompressedSize);
  EXPECT_EQ(zip.IndexOf(u"b.txt"), 2);
  EXPECT_EQ(zip.IndexOf(u"B.TXT"), -1);
  EXPECT_THROW(zip.GetFileInfo(3), EArgumentOutOfRangeException);
  EXPECT_THROW(zip.GetFileName(-1), EArgumentOutOfRangeException);
}

TEST(ZipFileTest, ReadGivesEachEntrysDataByItsLocalHeader) {
  TTempDir dir;
  TZipBuilder builder;
  builder.Add({.Name = "a", .Data = "stored", .LocalExtra = "local extra"});
  TZipFile zip;
  zip.Open(WriteArchive(dir, builder.Build()), TZipMode::zmRead);
  std::vector<std::uint8_t> bytes;
  zip.Read(0, bytes);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "stored");
  TZipHeader local;
  const auto decoder = zip.Read(0, local);
  EXPECT_EQ(local.ExtraField.size(), 11u);
  EXPECT_EQ(local.FileName.Bytes, "a");
  EXPECT_EQ(local.MadeByVersion, 0u) << "only the local header's own fields are filled";
  EXPECT_TRUE(test::Raises([&] { zip.Read(1, local); }, "EZipException", texts::kZipFileNotFound));
  EXPECT_TRUE(test::Raises([&] { zip.Extract(u"missing", dir.Path(), true); }, "EZipException",
                           texts::kZipFileNotFound));
}

TEST(ZipFileTest, ModesAndClosedReaderRaiseTheirErrors) {
  TTempDir dir;
  const std::u16string archive = WriteArchive(dir, TZipBuilder().Stored("a", "x").Build());
  TZipFile zip;
  for (const TZipMode mode : {TZipMode::zmClosed, TZipMode::zmReadWrite, TZipMode::zmWrite}) {
    EXPECT_TRUE(test::Raises([&] { zip.Open(dir / u"missing.zip", mode); }, "EZipException",
                             texts::kInvalidArgument));
  }
  EXPECT_TRUE(test::Raises([&] { zip.GetFileCount(); }, "EZipException", texts::kZipMustBeOpen));
  EXPECT_TRUE(test::Raises([&] { zip.ExtractAll(dir.Path()); }, "EZipException",
                           texts::kZipMustBeOpenForReading));
  EXPECT_THROW(zip.Open(dir / u"missing.zip", TZipMode::zmRead), EFOpenError);
  zip.Open(archive, TZipMode::zmRead);
  zip.Close();
  zip.Close();
  EXPECT_THROW(zip.GetFileName(0), EZipException);
  EXPECT_TRUE(RemoveFile(archive)) << "Close left the archive open";
}

TEST(ZipFileTest, LocalOffsetsCountFromWhereTheStreamStoodAtOpen) {
  TZipBuilder builder;
  builder.Stored("a", "embedded");
  test::TZipLayout layout;
  builder.Build(&layout);
  builder.DeclaredDirectoryOffset = static_cast<std::uint32_t>(layout.CentralDirectory + 4);
  TMemoryStream stream("JUNK" + builder.Build());
  stream.SetPosition(4);
  TZipFile zip;
  zip.Open(stream, TZipMode::zmRead);
  std::vector<std::uint8_t> bytes;
  zip.Read(0, bytes);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "embedded");
}

TEST(ZipFileTest, IsValidAndExtractZipFile) {
  TTempDir dir;
  const std::u16string archive =
      WriteArchive(dir, TZipBuilder().Stored("x/a.txt", "A").Deflated("b.txt", "B").Build());
  EXPECT_TRUE(TZipFile::IsValid(archive));
  EXPECT_FALSE(TZipFile::IsValid(dir / u"missing.zip"));
  test::WriteFileBytes(dir / u"text.zip", "no archive");
  EXPECT_FALSE(TZipFile::IsValid(dir / u"text.zip"));
  TZipFile::ExtractZipFile(archive, dir / u"out");
  EXPECT_EQ(test::ReadFileBytes(dir / u"out\\x\\a.txt"), "A");
  EXPECT_EQ(test::ReadFileBytes(dir / u"out\\b.txt"), "B");
}

#ifdef _WIN32
TEST(ZipFileTest, AnOpenArchiveIsNotShared) {
  TTempDir dir;
  const std::u16string archive = WriteArchive(dir, TZipBuilder().Stored("a", "x").Build());
  TZipFile zip;
  zip.Open(archive, TZipMode::zmRead);
  EXPECT_THROW({ TFileStream other(archive, kOpenReadShareRead); }, EFOpenError);
  zip.Close();
  EXPECT_NO_THROW({ TFileStream other(archive, kOpenReadShareRead); });
}
#endif

}  // namespace
}  // namespace zelkupd
