// The INI store on real files: parsing and trimming, duplicates, writes, the rendered file and
// its encodings.
#include "ini/mem_ini_file.h"

#include <gtest/gtest.h>

#include "runtime/codepage.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "runtime/text.h"
#include "support/temp_dir.h"

namespace zelkupd {
namespace {

using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

class MemIniFileTest : public ::testing::Test {
 protected:
  TMemIniFile Load(std::string_view bytes) {
    WriteFileBytes(path, bytes);
    return TMemIniFile(path);
  }
  // Rewrites the loaded file unchanged and returns what it holds then.
  std::string Rewritten(std::string_view bytes) {
    Load(bytes).UpdateFile();
    return ReadFileBytes(path);
  }

  TTempDir dir;
  std::u16string path = dir / u"zelkupd.INI";
};

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string out;
  for (const char16_t c : text) {
    const char high = static_cast<char>(c >> 8);
    const char low = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

constexpr char kHandWritten[] =
    "before=dropped\r\n"
    "[ zelk ]\r\n"
    "\t  PREV_FILE  =  zelk32_155.zip  \x01\r\n"
    "; a comment\r\n"
    "\r\n"
    "# not a comment\n"
    "A = b=c\r"
    "[ZELK] ;not a header\r\n"
    "empty=\r\n"
    "  ;indented comment\r\n"
    "[]\r\n"
    "k=v";

TEST_F(MemIniFileTest, ParsingTrimsDropsCommentsAndKeepsBareLines) {
  const TMemIniFile ini = Load(kHandWritten);
  EXPECT_EQ(ini.ReadString(u"ZELK", u"prev_file", u"-"), u"zelk32_155.zip");
  EXPECT_EQ(ini.ReadString(u"Zelk", u"a", u"-"), u"b=c");
  EXPECT_EQ(ini.ReadString(u"ZELK", u"empty", u"-"), u"") << "an empty value is no default";
  EXPECT_EQ(ini.ReadString(u"ZELK", u"before", u"-"), u"-");
  EXPECT_EQ(ini.ReadString(u"", u"K", u"-"), u"v");
  EXPECT_EQ(ini.ReadString(u"missing", u"k", u"-"), u"-");
  EXPECT_EQ(ini.ReadString(u" zelk ", u"A", u"-"), u"-") << "the probe is not trimmed";
}

TEST_F(MemIniFileTest, RewriteNormalisesTheFile) {
  EXPECT_EQ(Rewritten(kHandWritten),
            "[zelk]\r\nPREV_FILE=zelk32_155.zip\r\n# not a comment\r\nA=b=c\r\n"
            "[ZELK] ;not a header\r\nempty=\r\n\r\n[]\r\nk=v\r\n\r\n");
  EXPECT_EQ(Rewritten("no section at all\r\n;x\r\n"), "");
  EXPECT_EQ(Rewritten("[ZELK] ;x\r\n[ZELK]"), "[ZELK]\r\n\r\n")
      << "a header with trailing text before any section is dropped";
}

TEST_F(MemIniFileTest, DuplicateKeysAndSectionsAreFoundLastAndAllWrittenBack) {
  EXPECT_EQ(Load("[ZELK]\r\nDELETE=1\r\nDELETE=2\r\n").ReadInteger(u"ZELK", u"DELETE", 0), 2);

  TMemIniFile ini =
      Load("[ZELK]\r\nDELETE=1\r\nPREV_FILE=a.zip\r\n[x]\r\n[zelk]\r\nPREV_FILE=b\r\n");
  EXPECT_EQ(ini.ReadString(u"ZELK", u"PREV_FILE", u""), u"b");
  EXPECT_EQ(ini.ReadInteger(u"ZELK", u"DELETE", 7), 7) << "only the last section is searched";
  ini.WriteString(u"ZELK", u"PREV_FILE", u"c.zip");
  ini.WriteString(u"ZELK", u"DELETE", u"2");
  ini.UpdateFile();
  EXPECT_EQ(ReadFileBytes(path),
            "[ZELK]\r\nDELETE=1\r\nPREV_FILE=a.zip\r\n\r\n[x]\r\n\r\n"
            "[zelk]\r\nPREV_FILE=c.zip\r\nDELETE=2\r\n\r\n");
}

TEST_F(MemIniFileTest, WriteReplacesInPlaceOrAppendsAndTouchesNoFileUntilUpdate) {
  constexpr char kOriginal[] = "[ZELK]\r\nPREV_FILE=a.zip\r\nDELETE=1\r\n";
  TMemIniFile ini = Load(kOriginal);
  ini.WriteString(u"zelk", u"prev_file", u"b.zip");
  ini.WriteString(u"ZELK", u"DOWN_PATH", u"  C:\\dl  ");
  ini.WriteString(u"New", u"Key", u"v");
  EXPECT_EQ(ini.ReadString(u"ZELK", u"DOWN_PATH", u""), u"  C:\\dl  ") << "stored as given";
  EXPECT_EQ(ReadFileBytes(path), kOriginal);
  ini.UpdateFile();
  EXPECT_EQ(ReadFileBytes(path),
            "[ZELK]\r\nprev_file=b.zip\r\nDELETE=1\r\nDOWN_PATH=  C:\\dl  \r\n\r\n"
            "[New]\r\nKey=v\r\n\r\n");
  EXPECT_EQ(TMemIniFile(path).ReadString(u"ZELK", u"DOWN_PATH", u""), u"C:\\dl");
  EXPECT_FALSE(FileExists(ReplacementFileName(path)));
}

TEST_F(MemIniFileTest, MissingFileIsAnEmptyStoreAndBecomesThreeAnsiLines) {
  TMemIniFile ini(path);
  EXPECT_EQ(ini.ReadString(u"ZELK", u"PREV_FILE", u"-"), u"-");
  EXPECT_EQ(ini.ReadInteger(u"ZELK", u"DELETE", -5), -5);
  EXPECT_FALSE(FileExists(path)) << "creating a store writes nothing";
  ini.WriteString(u"ZELK", u"PREV_FILE", u"zelk32_155.zip");
  ini.UpdateFile();
  EXPECT_EQ(ReadFileBytes(path), "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n\r\n");
}

TEST_F(MemIniFileTest, AnsiFileIsReadAndWrittenInTheAnsiCodePage) {
  if (AnsiCodePage() != 932) {
    GTEST_SKIP() << "the bytes below are code page 932";
  }
  // "ゼルク" in code page 932. A Hangul syllable has no place in it and becomes "?"; so does an
  // e with an acute accent, for which Windows (and Wine) would give a plain "e" as its best fit.
  const std::string zelk = "\x83\x5B\x83\x8B\x83\x4E";
  TMemIniFile ini = Load("[ZELK]\r\nPREV_FILE=" + zelk + ".zip\r\n");
  EXPECT_EQ(ini.ReadString(u"ZELK", u"PREV_FILE", u""), u"ゼルク.zip");
  ini.WriteString(u"ZELK", u"DOWN_PATH", u"한\u00E9");
  ini.UpdateFile();
  EXPECT_EQ(ReadFileBytes(path), "[ZELK]\r\nPREV_FILE=" + zelk + ".zip\r\nDOWN_PATH=??\r\n\r\n");
}

TEST_F(MemIniFileTest, MarkedFilesKeepTheirEncodingAndMarkByteForByte) {
  const std::u16string text =
      u"[ZELK]\r\nPREV_FILE=ゼルク_155.zip\r\nDOWN_PATH=C:\\ダウンロード\r\n\r\n";
  const struct {
    std::string Mark;
    std::string Body;
  } cases[] = {
      {"\xEF\xBB\xBF", Utf16ToUtf8(text)},
      {"\xFF\xFE", Utf16Bytes(text, false)},
      {"\xFE\xFF", Utf16Bytes(text, true)},
  };
  for (const auto& c : cases) {
    const TMemIniFile ini = Load(c.Mark + c.Body);
    EXPECT_EQ(ini.ReadString(u"ZELK", u"PREV_FILE", u""), u"ゼルク_155.zip");
    EXPECT_EQ(Rewritten(c.Mark + c.Body), c.Mark + c.Body);
  }
}

TEST_F(MemIniFileTest, InvalidUtf8CostsOnlyTheBadBytes) {
  TMemIniFile ini = Load("\xEF\xBB\xBF[ZELK]\r\nDOWN_PATH=C:\\dl\r\nbad=\xFF\xC0\r\nDELETE=2\r\n");
  EXPECT_EQ(ini.ReadString(u"ZELK", u"bad", u""), u"\uFFFD\uFFFD");
  ini.WriteString(u"ZELK", u"PREV_FILE", u"zelk32_156.zip");
  ini.UpdateFile();
  EXPECT_EQ(ReadFileBytes(path),
            "\xEF\xBB\xBF[ZELK]\r\nDOWN_PATH=C:\\dl\r\nbad=\xEF\xBF\xBD\xEF\xBF\xBD\r\n"
            "DELETE=2\r\nPREV_FILE=zelk32_156.zip\r\n\r\n");
}

TEST_F(MemIniFileTest, MarksNeedAllTheirBytesAndNulEndsTheText) {
  EXPECT_EQ(Load(std::string("[ZELK]\r\nA=1\0\r\nB=2", 17)).ReadString(u"ZELK", u"B", u"-"), u"-");
  EXPECT_EQ(Load(std::string("\xFF\xFE", 2) + Utf16Bytes(u"[S]\r\nk=v", false) + "\x41")
                .ReadString(u"S", u"k", u"-"),
            u"v")
      << "an odd last byte of UTF-16 is dropped";
  // Two bytes of a three-byte UTF-8 mark are no mark: the file is ANSI and has no section.
  EXPECT_EQ(Rewritten("\xEF\xBB"), "");
}

}  // namespace
}  // namespace zelkupd
