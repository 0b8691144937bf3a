#include "runtime/text.h"

#include <gtest/gtest.h>

namespace zelkupd {
namespace {

TEST(Utf8Test, DecodesEveryPlaneAndRoundTrips) {
  const std::string bytes = "a\xC3\xBC\xE3\x82\xBC\xF0\x9F\x98\x80";  // a ü ゼ 😀
  const std::u16string text = Utf8ToUtf16(bytes);
  EXPECT_EQ(text, u"aüゼ😀");
  EXPECT_EQ(Utf16ToUtf8(text), bytes);
}

TEST(Utf8Test, LenientDecodingReplacesEachBrokenSequenceAndKeepsTheRest) {
  // A stray continuation byte, a truncated three-byte sequence, an overlong form, a surrogate.
  EXPECT_EQ(Utf8ToUtf16("A\x80"
                        "B"),
            u"A\uFFFDB");
  EXPECT_EQ(Utf8ToUtf16("A\xE3\x82"
                        "B"),
            u"A\uFFFDB");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(Utf8Test, StrictDecodingRejectsTheWholeText) {
  std::u16string out = u"old";
  EXPECT_FALSE(Utf8ToUtf16Strict("good\xFFgood", out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(Utf8ToUtf16Strict("\xE3\x82\xBC", out));
  EXPECT_EQ(out, u"ゼ");
}

TEST(Utf8Test, LoneSurrogateEncodesAsReplacement) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(TextTest, IntToTextCoversSignAndExtremes) {
  EXPECT_EQ(IntToText(0), u"0");
  EXPECT_EQ(IntToText(-16), u"-16");
  EXPECT_EQ(IntToText(INT64_MIN), u"-9223372036854775808");
}

TEST(TextTest, UpperCaseKeepsLengthAndMapsBeyondAscii) {
  EXPECT_EQ(UpperCase(u"zelk32_155.zip"), u"ZELK32_155.ZIP");
  EXPECT_EQ(UpperCase(u"äöü"), u"ÄÖÜ");
  EXPECT_EQ(UpperCase(u"ゼルク"), u"ゼルク");
  // ß has no single-unit upper case; the length must not change.
  EXPECT_EQ(UpperCase(u"ß").size(), 1u);
}

TEST(TextTest, TrimControlsRemovesBlanksAndControlsOnly) {
  EXPECT_EQ(TrimControls(u" \t key = v \r"), u"key = v");
  EXPECT_EQ(TrimControls(u"\u3000x\u3000"), u"\u3000x\u3000");
  EXPECT_EQ(TrimControls(u"  "), u"");
}

}  // namespace
}  // namespace zelkupd
