#include "runtime/codepage.h"

#include <gtest/gtest.h>

namespace zelkupd {
namespace {

TEST(CodePageTest, ShiftJisRoundTripsJapanese) {
  const std::string bytes = EncodeCodePage(u"ゼルク のアップデートを試みます.", 932);
  EXPECT_EQ(bytes.substr(0, 6), "\x83\x5B\x83\x8B\x83\x4E");
  EXPECT_EQ(DecodeCodePage(bytes, 932), u"ゼルク のアップデートを試みます.");
}

TEST(CodePageTest, CodePage437MapsHighBytes) {
  EXPECT_EQ(DecodeCodePage("\x81\x82\xE1", kCodePage437), u"üéß");
}

TEST(CodePageTest, UnmappableCharactersBecomeTheDefaultCharacter) {
  EXPECT_EQ(EncodeCodePage(u"aゼb", kCodePage437), "a?b");
}

TEST(CodePageTest, Utf8CodePageIsUtf8) {
  EXPECT_EQ(EncodeCodePage(u"ゼ", kCodePageUtf8), "\xE3\x82\xBC");
  EXPECT_EQ(DecodeCodePage("\xE3\x82\xBC", kCodePageUtf8), u"ゼ");
}

TEST(CodePageTest, JapaneseWindowsCodePagesAreInForce) {
  // The tests run natively with 932 standing in, and under Wine with LC_ALL=ja_JP.UTF-8.
  EXPECT_EQ(AnsiCodePage(), 932u);
  EXPECT_EQ(OemCodePage(), 932u);
}

}  // namespace
}  // namespace zelkupd
