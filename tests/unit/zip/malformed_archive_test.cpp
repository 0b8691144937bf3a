// Crafted archives with one defect each, and the exception class and text each must raise.
#include <gtest/gtest.h>

#include <functional>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "support/raises.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/zip_file.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

using test::TZipBuilder;
using test::TZipEntryPlan;

enum class TStage { Open, Extract };

struct TMalformedCase {
  const char* Defect;
  std::function<std::string()> Archive;
  TStage Stage;
  const char* ClassName;
  std::u16string Text;
};

std::string OneEntry(TZipEntryPlan entry) {
  return TZipBuilder().Add(std::move(entry)).Build();
}

// The directory offset aimed at the archive comment, whose bytes then act as a central header.
std::string DirectoryInComment(const std::string& comment) {
  TZipBuilder builder;
  builder.Stored("a.txt", "abc");
  builder.Comment = comment;
  test::TZipLayout layout;
  builder.Build(&layout);
  builder.DeclaredDirectoryOffset = static_cast<std::uint32_t>(layout.EndRecord + 22);
  return builder.Build();
}

const std::string kText = "the quick brown fox jumps over the lazy dog, again and again";

const TMalformedCase kCases[] = {
    {"zero-byte file", [] { return std::string(); }, TStage::Open, "EZipException",
     texts::kStreamReadError},
    {"no end record", [] { return std::string(300, 'x'); }, TStage::Open, "EZipException",
     texts::kZipReadError},
    {"end record 65,536 bytes from the end",
     [] {
       TZipBuilder builder;
       builder.Comment = std::string(65514, 'c');
       return builder.Build();
     },
     TStage::Open, "EZipException", texts::kZipReadError},
    {"central header signature wrong",
     [] { return OneEntry({.Name = "a", .Data = "x", .CentralSignature = "PK\1\3"}); },
     TStage::Open, "EZipException", texts::kInvalidCentralSignature},
    {"more entries declared than present",
     [] {
       TZipBuilder builder;
       builder.Stored("a", "x").DeclaredEntries = 2;
       return builder.Build();
     },
     TStage::Open, "EZipException", texts::kZipReadError},
    {"directory offset past the end",
     [] {
       TZipBuilder builder;
       builder.Stored("a", "x").DeclaredDirectoryOffset = 0xFFFFFF00u;
       return builder.Build();
     },
     TStage::Open, "EZipException", texts::kZipReadError},
    {"central header cut short by the end", [] { return DirectoryInComment("PK\1\2 short"); },
     TStage::Open, "EZipException", texts::kZipReadError},
    {"local header signature wrong",
     [] { return OneEntry({.Name = "a", .Data = "x", .LocalSignature = "PK\1\2"}); },
     TStage::Extract, "EZipException", texts::kInvalidLocalSignature},
    {"method 12", [] { return OneEntry({.Name = "sub/x.bin", .Data = "x", .Method = 12}); },
     TStage::Extract, "EListError", texts::kItemNotFound},
    {"method 14", [] { return OneEntry({.Name = "sub/x.bin", .Data = "x", .Method = 14}); },
     TStage::Extract, "EListError", texts::kItemNotFound},
    {"encrypted entry",
     [] { return OneEntry({.Name = "sub/x.bin", .Data = "x", .Method = 8, .Flags = 1}); },
     TStage::Extract, "EZipException", texts::EncryptedEntryText(u"sub/x.bin")},
    {"symbolic link entry",
     [] {
       return OneEntry({.Name = "sub/link",
                        .Data = "/etc/passwd",
                        .ExternalAttributes = test::kUnixSymbolicLinkAttributes});
     },
     TStage::Extract, "EZipException", texts::SymbolicLinkEntryText(u"sub/link")},
    {"name climbing out", [] { return OneEntry({.Name = "sub/../../x", .Data = "x"}); },
     TStage::Extract, "EZipException", texts::UnsafeEntryNameText(u"sub/../../x")},
    {"invalid character in the name", [] { return OneEntry({.Name = "a|b", .Data = "x"}); },
     TStage::Extract, "EArgumentException", texts::kInvalidPathChars},
    {"corrupt deflate data",
     [] { return OneEntry({.Name = "a", .Data = kText, .Method = 8, .Payload = "\xFF\xFF"}); },
     TStage::Extract, "EZDecompressionError", u"data error"},
    {"two entries of one local header",
     [] {
       return TZipBuilder()
           .Stored("a", kText)
           .Add({.Name = "b", .Data = kText, .CentralOffset = 0})
           .Build();
     },
     TStage::Open, "EZipException", texts::kZipReadError},
    {"data reaching into the next entry's local header",
     [] {
       return TZipBuilder()
           .Add({.Name = "a", .Data = kText, .CentralCompressedSize = kText.size() + 2})
           .Stored("b", kText)
           .Build();
     },
     TStage::Open, "EZipException", texts::kZipReadError},
    {"stored data shorter than its size",
     [] { return OneEntry({.Name = "a", .Data = kText, .CentralSize = 1000000}); }, TStage::Extract,
     "EReadError", texts::kStreamReadError},
    {"deflate data shorter than its size",
     [] { return OneEntry({.Name = "a", .Data = kText, .Method = 8, .CentralSize = 100}); },
     TStage::Extract, "EReadError", texts::kStreamReadError},
    {"stored data read no further than its compressed size",
     [] {
       return OneEntry({.Name = "a", .Data = kText, .CentralCompressedSize = kText.size() - 1});
     },
     TStage::Extract, "EReadError", texts::kStreamReadError},
    {"deflate data read no further than its compressed size",
     [] {
       return OneEntry({.Name = "a",
                        .Data = kText,
                        .Method = 8,
                        .CentralCompressedSize = test::RawDeflate(kText).size() / 2});
     },
     TStage::Extract, "EReadError", texts::kStreamReadError},
    {"flipped byte in stored data",
     [] {
       std::string flipped = kText;
       flipped[7] ^= 0x20;
       return OneEntry({.Name = "a", .Data = kText, .Payload = flipped});
     },
     TStage::Extract, "EZipException", texts::CrcMismatchText(u"a")},
    {"bit 3 deflated, size recorded too large",
     [] {
       return OneEntry(
           {.Name = "a", .Data = kText, .Method = 8, .DataDescriptor = true, .CentralSize = 100});
     },
     TStage::Extract, "EZipException", texts::SizeMismatchText(u"a")},
    {"bit 3 deflated, size recorded too small",
     [] {
       return OneEntry(
           {.Name = "a", .Data = kText, .Method = 8, .DataDescriptor = true, .CentralSize = 10});
     },
     TStage::Extract, "EZipException", texts::CrcMismatchText(u"a")},
    {"bit 3 stored, size beyond the archive",
     [] {
       return OneEntry(
           {.Name = "a", .Data = kText, .DataDescriptor = true, .CentralSize = 1000000});
     },
     TStage::Extract, "EZipException", texts::SizeMismatchText(u"a")},
};

TEST(MalformedArchiveTest, EachDefectRaisesItsClassAndText) {
  for (const TMalformedCase& c : kCases) {
    test::TTempDir dir;
    const std::u16string archive = dir / u"a.zip";
    test::WriteFileBytes(archive, c.Archive());
    const std::u16string dest = dir / u"out\\";
    ASSERT_TRUE(CreateDir(dest));
    TZipFile zip;
    if (c.Stage == TStage::Open) {
      EXPECT_TRUE(test::Raises([&] { zip.Open(archive, TZipMode::zmRead); }, c.ClassName, c.Text))
          << c.Defect;
      EXPECT_THROW(zip.GetFileCount(), EZipException) << c.Defect << ": left open";
      EXPECT_TRUE(RemoveFile(archive)) << c.Defect << ": archive left open";
      continue;
    }
    zip.Open(archive, TZipMode::zmRead);
    EXPECT_TRUE(test::Raises([&] { zip.Extract(0, dest, true); }, c.ClassName, c.Text)) << c.Defect;
  }
}

}  // namespace
}  // namespace zelkupd
