// A settings file in UTF-16 (either byte order) or UTF-8 (with or without a mark), with comments,
// odd spacing and sections of the user's own, through a whole successful update: the file is
// rewritten in its own encoding with every key it held, only PREV_FILE changed, and the comments,
// blank lines and blanks around "=" gone as every rewrite drops them.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "ini/text_encoding.h"
#include "runtime/text.h"
#include "unit/faults/update_fixture.h"

namespace zelkupd {
namespace {

struct TEncodingCase {
  const char* Name;
  std::string (*Encode)(std::u16string_view text);
};

void PrintTo(const TEncodingCase& param, std::ostream* out) {
  *out << param.Name;
}

const TEncodingCase kEncodings[] = {
    {"Utf16LE", [](std::u16string_view t) { return EncodeText(t, TTextEncoding::Utf16LE); }},
    {"Utf16BE", [](std::u16string_view t) { return EncodeText(t, TTextEncoding::Utf16BE); }},
    {"Utf8WithMark", [](std::u16string_view t) { return EncodeText(t, TTextEncoding::Utf8); }},
    // Without a mark the file is read and written in the ANSI code page (932): UTF-8 text comes
    // through whole only where its bytes happen to be characters there too, as these are.
    {"Utf8WithoutMark", [](std::u16string_view t) { return Utf16ToUtf8(t); }},
};

class SettingsEncodingTest : public test::TUpdateFixture,
                             public ::testing::WithParamInterface<TEncodingCase> {};

TEST_P(SettingsEncodingTest, AnUpdateKeepsEveryKeyInTheFilesOwnEncoding) {
  const std::u16string original =
      u"; 更新プログラムの設定\r\n"
      u"\r\n"
      u"  [ ZELK ]  \r\n"
      u"\tPREV_FILE  =  zelk32_156.zip \r\n"
      u" DOWN_PATH =\"" +
      downloads +
      u"\"\r\n"
      u"DELETE\t= 0\r\n"
      u"# これは注釈ではありません\r\n"
      u"\r\n"
      u"[ユーザー]\r\n"
      u"  名前   =   ゼルク  \r\n"
      u"色=赤\n"
      u"; 最後の注釈";
  const std::u16string rewritten =
      u"[ZELK]\r\n"
      u"PREV_FILE=zelk32_157.zip\r\n"
      u"DOWN_PATH=\"" +
      downloads +
      u"\"\r\n"
      u"DELETE=0\r\n"
      u"# これは注釈ではありません\r\n"
      u"\r\n"
      u"[ユーザー]\r\n"
      u"名前=ゼルク\r\n"
      u"色=赤\r\n"
      u"\r\n";
  test::WriteFileBytes(settings, GetParam().Encode(original));
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(ZelkStarted());
  EXPECT_EQ(test::ReadFileBytes(install + u"doc\\new.txt"), "a new document");
  EXPECT_EQ(test::ReadFileBytes(settings), GetParam().Encode(rewritten));
}

INSTANTIATE_TEST_SUITE_P(Encodings, SettingsEncodingTest, ::testing::ValuesIn(kEncodings),
                         [](const auto& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace zelkupd
