// The text rules beneath the INI store: line breaks and the integer syntax of values.
#include <gtest/gtest.h>

#include <climits>

#include "ini/ini_lines.h"
#include "ini/integer_text.h"
#include "runtime/text.h"

namespace zelkupd {
namespace {

using TLines = std::vector<std::u16string>;

TEST(IniLinesTest, SplitsAtCrOrLfOrCrLfAndLfCrIsTwoBreaks) {
  const struct {
    std::u16string Text;
    TLines Lines;
  } cases[] = {
      {u"", {}},
      {u"a", {u"a"}},
      {u"a\r\nb", {u"a", u"b"}},
      {u"a\rb\nc", {u"a", u"b", u"c"}},
      {u"a\n\rb", {u"a", u"", u"b"}},
      {u"a\r\n", {u"a"}},
      {u"a\r\n\r\n", {u"a", u""}},
      {u"\r\r", {u"", u""}},
      {std::u16string(u"a\r\nb\0c\r\nd", 10), {u"a", u"b"}},
      {std::u16string(u"\0a", 2), {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLines(c.Text), c.Lines);
  }
}

TEST(IniLinesTest, JoinEndsEveryLineWithCrLf) {
  EXPECT_EQ(JoinLines({}), u"");
  EXPECT_EQ(JoinLines({u"[ZELK]", u"A=1", u""}), u"[ZELK]\r\nA=1\r\n\r\n");
}

TEST(IntegerTextTest, AcceptsDecimalAndEveryHexadecimalForm) {
  const struct {
    std::u16string Text;
    std::int32_t Value;
  } cases[] = {
      {u"0", 0},
      {u"-1", -1},
      {u"+7", 7},
      {u"007", 7},
      {u"   42", 42},
      {u"2147483647", INT_MAX},
      {u"-2147483648", INT_MIN},
      {u"0x1F", 31},
      {u"0X1f", 31},
      {u"$10", 16},
      {u"x10", 16},
      {u"X10", 16},
      {u"-$10", -16},
      {u"-0x10", -16},
      {u"+x10", 16},
      {u"$7FFFFFFF", INT_MAX},
      {u"$80000000", INT_MIN},
      {u"$FFFFFFFF", -1},
      {u"$0000000001", 1},
  };
  for (const auto& c : cases) {
    std::int32_t value = 12345;
    EXPECT_TRUE(TryParseInteger(c.Text, value)) << Utf16ToUtf8(c.Text);
    EXPECT_EQ(value, c.Value);
  }
}

TEST(IntegerTextTest, RejectsEverythingElseAndLeavesTheValue) {
  for (const std::u16string text :
       {u"",           u" ",   u"1.0", u"2 ;c",       u"2 ",          u"$",
        u"0x",         u"x",   u"-",   u"2147483648", u"-2147483649", u"99999999999999999999",
        u"$100000000", u"- 5", u"+-5", u"\t5",        u"5a",          u"$G",
        u"0x-5",       u"１"}) {
    std::int32_t value = 12345;
    EXPECT_FALSE(TryParseInteger(text, value)) << Utf16ToUtf8(text);
    EXPECT_EQ(value, 12345);
  }
}

}  // namespace
}  // namespace zelkupd
