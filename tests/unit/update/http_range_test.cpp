// The numbers a resumed transfer rests on, as a property over many values: every 64-bit number
// and every well-formed range reads back exactly, and any text that is not one is refused rather
// than cut to fewer bits or taken in part.
#include "update/http_range.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace zelkupd {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// Values around every power of two and of ten, and random ones of every width.
std::vector<std::uint64_t> Values() {
  std::vector<std::uint64_t> values = {0, 1, kMax, kMax - 1};
  for (int bit = 0; bit < 64; ++bit) {
    const std::uint64_t power = std::uint64_t{1} << bit;
    values.insert(values.end(), {power - 1, power, power + 1});
  }
  for (std::uint64_t ten = 1; ten <= kMax / 10; ten *= 10) {
    values.insert(values.end(), {ten - 1, ten, ten + 1});
  }
  std::mt19937_64 random(31);
  for (int i = 0; i < 2000; ++i) {
    values.push_back(random() >> (random() % 64));
  }
  return values;
}

TEST(HttpRangeTest, EveryDecimalNumberOfSixtyFourBitsReadsBackAndNothingElseDoes) {
  for (const std::uint64_t value : Values()) {
    const std::u16string text = DecimalText(value);
    ASSERT_EQ(ParseDecimal64(text), value) << value;
    for (const std::u16string& bad : {u" " + text, text + u" ", u"+" + text, u"-" + text,
                                      text + u"x", text + u"0000000000000000000000"}) {
      EXPECT_EQ(ParseDecimal64(bad), std::nullopt) << value;
    }
  }
  EXPECT_EQ(ParseDecimal64(u"18446744073709551616"), std::nullopt) << "2^64";
  EXPECT_EQ(ParseDecimal64(u"99999999999999999999"), std::nullopt);
  EXPECT_EQ(ParseDecimal64(u"4294967396"), 4294967396u) << "2^32 + 100, not 100";
  EXPECT_EQ(ParseDecimal64(u""), std::nullopt);
}

TEST(HttpRangeTest, ARangeReadsBackOnlyWhenItLiesInsideItsTotal) {
  const std::vector<std::uint64_t> values = Values();
  std::mt19937_64 random(206);
  std::uniform_int_distribution<std::size_t> pick(0, values.size() - 1);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t first = values[pick(random)];
    const std::uint64_t last = values[pick(random)];
    const std::uint64_t total = values[pick(random)];
    const std::u16string text =
        u"bytes " + DecimalText(first) + u"-" + DecimalText(last) + u"/" + DecimalText(total);
    const auto range = ParseContentRange(text);
    if (first <= last && last < total) {
      ASSERT_TRUE(range) << i;
      EXPECT_EQ(range->First, first);
      EXPECT_EQ(range->Last, last);
      EXPECT_EQ(range->Total, total);
    } else {
      EXPECT_EQ(range, std::nullopt) << i;
    }
    EXPECT_EQ(ParseContentRange(text + u"0000000000000000000000"), std::nullopt);
    EXPECT_EQ(ParseContentRange(u"bytes " + DecimalText(first) + u"-" + DecimalText(last) + u"/*"),
              std::nullopt);
  }
  EXPECT_EQ(ParseContentRange(u"bytes 5-4/10"), std::nullopt);
  EXPECT_EQ(ParseContentRange(u"bytes 0-9/9"), std::nullopt);
  EXPECT_EQ(ParseContentRange(u"bytes=0-9/10"), std::nullopt);
  EXPECT_EQ(ParseContentRange(u"bytes 0/10-9"), std::nullopt);
}

TEST(HttpRangeTest, OnlyPrintableValidatorsAreSentBack) {
  EXPECT_TRUE(IsValidatorText(u"\"abc\""));
  EXPECT_FALSE(IsValidatorText(u""));
  EXPECT_FALSE(IsValidatorText(u"\"a\"\r\nX-Evil: 1"));
  EXPECT_FALSE(IsValidatorText(std::u16string(kMaxValidatorLength + 1, u'a')));
  EXPECT_EQ(RangeHeaders(4294967296u, u"\"v\""),
            u"Range: bytes=4294967296-\r\nIf-Range: \"v\"\r\n");
}

}  // namespace
}  // namespace zelkupd
