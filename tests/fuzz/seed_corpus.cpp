// Writes the seed corpora of the fuzz targets into a folder, one subfolder per target: archives of
// every kind the unit tests build, settings files in every encoding with comments and odd
// spacing, release pages with and without the marker, archive names from the release order's
// examples, and release signatures. Run as: fuzz_seed_corpus tests/fuzz/corpus (files of other
// names there are kept).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "ini/text_encoding.h"
#include "runtime/codepage.h"
#include "support/signed_release.h"
#include "support/zip_builder.h"

namespace zelkupd::fuzz {
namespace {

using test::TZipBuilder;
using test::TZipEntryPlan;

std::filesystem::path gRoot;

void Seed(const char* target, const std::string& name, std::string_view bytes) {
  const std::filesystem::path folder = gRoot / target;
  std::filesystem::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Zip(TZipBuilder builder) {
  return builder.Build();
}

std::string Utf8(std::u16string_view text) {
  return EncodeCodePage(text, kCodePageUtf8);
}

// The Zip64 forms of the writers that put Zip64 records into small archives, the end records that
// undercount, and a Zip64 value pointing past the archive's end.
void Zip64Seeds(const std::string& program, const std::string& text) {
  using test::kZip64Compressed;
  using test::kZip64DirectoryOffset;
  using test::kZip64Disk;
  using test::kZip64Entries;
  using test::kZip64Offset;
  using test::kZip64Size;
  using test::kZip64Uncompressed;
  TZipBuilder infoZip;  // zip -fz: Zip64 sizes in both headers, a Zip64 end record
  infoZip.Add({.Name = "ZELK.EXE",
               .Data = program,
               .Method = 8,
               .Zip64Central = kZip64Uncompressed | kZip64Compressed,
               .Zip64Local = kZip64Uncompressed | kZip64Compressed});
  infoZip.Zip64End = true;
  infoZip.EndMarkers = kZip64DirectoryOffset;
  Seed("zip", "zip64_info_zip.zip", Zip(infoZip));
  TZipBuilder streaming;  // streaming writers and .NET on a stream it cannot seek: zeros, 64-bit
  streaming.Add({.Name = "a.txt",
                 .Data = text,
                 .Method = 8,
                 .DataDescriptor = true,
                 .Zip64Central = kZip64Uncompressed | kZip64Compressed | kZip64Offset,
                 .Zip64Local = kZip64Uncompressed | kZip64Compressed});
  streaming.Zip64End = true;
  streaming.EndMarkers = kZip64Entries | kZip64Size | kZip64DirectoryOffset;
  Seed("zip", "zip64_streaming.zip", Zip(streaming));
  TZipBuilder python;  // Python's force_zip64: the local header alone
  python.Add({.Name = "p.txt",
              .Data = text,
              .Method = 8,
              .Zip64Local = kZip64Uncompressed | kZip64Compressed});
  Seed("zip", "zip64_python.zip", Zip(python));
  TZipBuilder package;  // 3MF and EPUB packages: every end record field in the Zip64 record
  package.Stored("mimetype", "application/epub+zip")
      .Add({.Name = "3D/model.xml", .Data = text, .Method = 8, .Zip64Central = kZip64Disk});
  package.Zip64End = true;
  package.EndMarkers = kZip64Entries | kZip64Size | kZip64DirectoryOffset;
  package.Zip64Extensible = "extensible";
  Seed("zip", "zip64_package.zip", Zip(package));
  TZipBuilder undercount;
  undercount.Stored("a", "a").Stored("b", "b").Stored("c", "c").DeclaredEntries = 2;
  Seed("zip", "undercount.zip", Zip(undercount));
  TZipBuilder zeroOverOne;
  zeroOverOne.Stored("a", "a").DeclaredEntries = 0;
  zeroOverOne.Zip64End = true;
  Seed("zip", "undercount_zip64.zip", Zip(zeroOverOne));
  Seed("zip", "zip64_offset_past_end.zip",
       Zip(TZipBuilder().Add({.Name = "a",
                              .Data = "a",
                              .CentralOffset = 0x100000000ull,
                              .Zip64Central = kZip64Offset})));
}

void ZipSeeds() {
  const std::string program = "MZ" + test::NoiseBytes(300, 7);
  const std::string text = "ZELK read me\r\n" + std::string(400, 'z') + "\r\nend\r\n";
  Seed("zip", "stored.zip", Zip(TZipBuilder().Stored("ZELK.EXE", program).Stored("a.txt", text)));
  Seed("zip", "deflated.zip",
       Zip(TZipBuilder().Deflated("doc/readme.txt", text).Deflated("ZELK.EXE", program)));
  Seed("zip", "folders.zip",
       Zip(TZipBuilder().Stored("sub/", "").Deflated("sub/a.txt", text).Stored("x/y/z.txt", "z")));
  Seed("zip", "data_descriptor.zip",
       Zip(TZipBuilder()
               .Add({.Name = "dd.txt", .Data = text, .Method = 8, .DataDescriptor = true})
               .Add({.Name = "dd.bin", .Data = "raw", .DataDescriptor = true})));
  Seed("zip", "empty.zip", Zip(TZipBuilder()));
  Seed("zip", "empty_entries.zip", Zip(TZipBuilder().Stored("empty", "").Deflated("deflated", "")));
  TZipBuilder commented;
  commented.Add({.Name = "c.txt", .Data = "c", .Comment = "entry comment"});
  commented.Comment = "archive comment";
  Seed("zip", "comments.zip", Zip(commented));
  TZipBuilder twoEnds;
  twoEnds.Stored("a", "a");
  twoEnds.Comment = test::EndRecordBytes(0, 0, 0, 0);
  Seed("zip", "two_end_records.zip", Zip(twoEnds));
  Seed("zip", "names.zip",
       Zip(TZipBuilder()
               .Stored("\x81"
                       "ber.txt",
                       "cp437")
               .Add({.Name = Utf8(u"日本語/ゼルク.txt"), .Data = "utf-8", .Flags = 0x0800})));
  TZipBuilder stub;
  stub.Prefix = "MZ" + std::string(2000, '\0');
  stub.Deflated("after_stub.txt", text);
  Seed("zip", "stub.zip", Zip(stub));
  Seed("zip", "extra_fields.zip",
       Zip(TZipBuilder().Add({.Name = "e.txt",
                              .Data = "e",
                              .CentralExtra = std::string("UT\5\0\1\0\0\0\0", 9),
                              .LocalExtra = std::string("UT\5\0\1\0\0\0\0", 9)})));
  Seed("zip", "bad_date.zip", Zip(TZipBuilder().Add({.Name = "d.txt", .Data = "d", .DosTime = 0})));
  Seed("zip", "hostile_names.zip",
       Zip(TZipBuilder()
               .Stored("../evil.txt", "e")
               .Stored("..\\evil.txt", "e")
               .Stored("/abs.txt", "e")
               .Stored("C:evil.txt", "e")
               .Stored("a/../../b.txt", "e")
               .Stored("CON.txt", "e")
               .Stored("dots./x", "e")
               .Stored("a.txt:stream", "e")));
  Seed("zip", "symlink.zip",
       Zip(TZipBuilder().Add({.Name = "link",
                              .Data = "../outside",
                              .ExternalAttributes = test::kUnixSymbolicLinkAttributes})));
  Seed("zip", "encrypted.zip", Zip(TZipBuilder().Add({.Name = "s.txt", .Data = "s", .Flags = 1})));
  Seed("zip", "method12.zip", Zip(TZipBuilder().Add({.Name = "m.txt", .Data = "m", .Method = 12})));
  Seed("zip", "bad_crc.zip",
       Zip(TZipBuilder().Add({.Name = "c.txt", .Data = "c", .CentralCrc = 1})));
  Seed("zip", "short_data.zip",
       Zip(TZipBuilder().Add({.Name = "s.txt", .Data = "short", .Method = 8, .CentralSize = 900})));
  Seed("zip", "corrupt_deflate.zip",
       Zip(TZipBuilder().Add({.Name = "x.txt", .Data = text, .Method = 8, .Payload = "\xFF\xFF"})));
  Zip64Seeds(program, text);
}

// Comments, blanks around names and values, duplicate sections and keys, a bare line, a line that
// looks like a comment elsewhere, a header with text after it and one with an empty name.
constexpr char16_t kSettings[] =
    u"; settings of the updater\r\n"
    u"before any section=dropped\r\n"
    u"  [ZELK]  \r\n"
    u" PREV_FILE =  zelk32_155.zip  \r\n"
    u"DOWN_PATH= \"%zelk%\\download\"\r\n"
    u"\tDELETE\t=\t2\r\n"
    u"# not a comment\r\n"
    u"bare line\r\n"
    u"A=b=c\r\n"
    u"\r\n"
    u"[zelk]\r\n"
    u"delete=0x1F\r\n"
    u"[ ]\r\n"
    u"key = 値\r\n"
    u"[User] ; trailing text\r\n"
    u"[ユーザー]\r\n"
    u"名前 = ゼルク\r\n";

void IniSeeds() {
  const struct {
    const char* Name;
    TTextEncoding Encoding;
  } encodings[] = {{"utf8_mark.ini", TTextEncoding::Utf8},
                   {"utf16le.ini", TTextEncoding::Utf16LE},
                   {"utf16be.ini", TTextEncoding::Utf16BE},
                   {"ansi932.ini", TTextEncoding::Ansi}};
  for (const auto& [name, encoding] : encodings) {
    Seed("ini", name, EncodeText(kSettings, encoding));
  }
  Seed("ini", "utf8_no_mark.ini", Utf8(kSettings));
  Seed("ini", "line_breaks.ini", "[A]\nx=1\ry=2\n\rz=3\r\n\n[b]\rw = 4");
  Seed("ini", "nul.ini", std::string("[ZELK]\r\nPREV_FILE=a\0[ZELK]\r\nPREV_FILE=b\r\n", 40));
  Seed("ini", "invalid_utf8.ini", "\xEF\xBB\xBF[ZELK]\r\nPREV_FILE=\xC3\x28\xFF.zip\r\n");
  Seed("ini", "odd_utf16.ini", std::string("\xFF\xFE[\0Z\0]\0\r\0\n\0k\0=\0v\0x", 21));
  Seed("ini", "empty.ini", "");
  Seed("ini", "mark_only.ini", "\xFE\xFF");
}

void PageSeeds() {
  const std::u16string page =
      u"<html><head><title>ゼルク 更新</title></head>\r\n<body>\r\n"
      u"<p>最新版</p>\r\n<a id=\"$zelk32$\" href=\"zip/zelk32_156.zip\">zelk32_156.zip</a>\r\n"
      u"</body></html>\r\n";
  Seed("release_page", "page.html", EncodeCodePage(page, 932));
  std::string utf16;
  for (const char16_t c : page) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
  }
  Seed("release_page", "page_utf16.html", utf16);
  Seed("release_page", "comma.html", "<a id=\"$zelk32$\",href=\"zip/zelk32_157ba.zip\">");
  Seed("release_page", "no_marker.html", "<html><a href=\"zip/zelk32_156.zip\">x</a></html>");
  Seed("release_page", "marker_last.html", "<a href=\"zip/x.zip\" id=\"$zelk32$\"");
  Seed("release_page", "unclosed.html", "<a id=\"$zelk32$\" href=\"zip/zelk32_156.zip>");
  Seed("release_page", "empty_link.html", "<a id=\"$zelk32$\" href=\"\">");
  Seed("release_page", "four_chars.html", "<a id=\"$zelk32$\" href=\"abcd\">");
  Seed("release_page", "other_case.html", "<a ID=\"$ZELK32$\" href=\"zip/a.zip\">");
  Seed("release_page", "href_later.html", "<a id=\"$zelk32$\" class=x href=\"zip/a.zip\">");
  Seed("release_page", "quoted.html", "\"id=\"\"$zelk32$\"\"\",\"href=\"\"zip/q.zip\"\"\",");
  Seed("release_page", "hostile_links.html",
       "<a id=\"$zelk32$\" href=\"zip/ZELK.EXE\"> <a id=\"$zelk32$\" href=\"zip/..\\x.zip\">");
  Seed("release_page", "hostile_folder.html", "<a id=\"$zelk32$\" href=\"z?p/zelk32_999.zip\">");
  Seed("release_page", "nul.html",
       std::string("<a id=\"$zelk32$\"\0 href=\"zip/after_nul.zip\">", 43));
}

void NameSeeds() {
  const std::u16string_view lists[] = {
      u"zelk32_155.zip|zelk32_156.zip|zelk32_156b1.zip",
      u"zelk32_157ba.zip|zelk32_157bb.zip|zelk32_157.zip",
      u"zelk32_157b2.zip|zelk32_157.zip|zelk32_0157.zip",
      u"zelk32_157.zip|zelk32_157.lzh|zelk32_157B1.zip",
      u"zelk32_157b.zip|C:\\dl.d\\zelk32_9|x:y.b",
      u"zelk32_2147483648.zip|zelk32_-2147483648.zip|zelk32_+1.zip",
      u"zelk32_157bあ.zip|zelk32_157bａ.zip|zelk32_157b\xD800.zip",
  };
  int number = 0;
  for (const std::u16string_view list : lists) {
    std::string bytes;
    for (const char16_t c : list) {
      const char16_t unit = c == u'|' ? u'\0' : c;
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
    Seed("archive_name", "names" + std::to_string(++number), bytes);
  }
}

// The release signatures of the unit tests, r and s of every length, and forms a strict reader
// refuses: a long-form length, a needless zero byte, a negative r, an r equal to the group order.
void SignatureSeeds() {
  Seed("signature_der", "release_key.sig", test::kArchiveSignature);
  Seed("signature_der", "other_key.sig", test::kOtherKeySignature);
  Seed("signature_der", "small.sig", std::string("\x30\x06\x02\x01\x01\x02\x01\x7f", 8));
  Seed("signature_der", "long_form.sig", std::string("\x30\x81\x06\x02\x01\x01\x02\x01\x01", 9));
  Seed("signature_der", "padded.sig", std::string("\x30\x07\x02\x02\x00\x01\x02\x01\x01", 9));
  Seed("signature_der", "negative.sig", std::string("\x30\x06\x02\x01\x81\x02\x01\x01", 8));
  const std::string order(  // n, the order of P-256's group
      "\xFF\xFF\xFF\xFF\x00\x00\x00\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
      "\xBC\xE6\xFA\xAD\xA7\x17\x9E\x84\xF3\xB9\xCA\xC2\xFC\x63\x25\x51",
      32);
  Seed("signature_der", "group_order.sig",
       std::string("\x30\x26\x02\x21\x00", 5) + order + std::string("\x02\x01\x01", 3));
}

}  // namespace
}  // namespace zelkupd::fuzz

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  zelkupd::fuzz::gRoot = argv[1];
  zelkupd::fuzz::ZipSeeds();
  zelkupd::fuzz::IniSeeds();
  zelkupd::fuzz::PageSeeds();
  zelkupd::fuzz::NameSeeds();
  zelkupd::fuzz::SignatureSeeds();
  return 0;
}
