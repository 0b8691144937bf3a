#include "runtime/datetime.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace zelkupd {
namespace {

constexpr std::uint32_t Dos(unsigned year, unsigned month, unsigned day, unsigned hour,
                            unsigned minute, unsigned second) {
  return (((year - 1980) << 25) | (month << 21) | (day << 16)) |
         ((hour << 11) | (minute << 5) | (second / 2));
}

TEST(DosDateTimeTest, SplitsDateAndTimeWithDayOfWeek) {
  const TSystemTime t = DosDateTimeToSystemTime(Dos(2024, 2, 29, 23, 59, 58));
  EXPECT_EQ(t.Year, 2024);
  EXPECT_EQ(t.Month, 2);
  EXPECT_EQ(t.Day, 29);
  EXPECT_EQ(t.Hour, 23);
  EXPECT_EQ(t.Minute, 59);
  EXPECT_EQ(t.Second, 58);
  EXPECT_EQ(t.Milliseconds, 0);
  EXPECT_EQ(t.DayOfWeek, 4);  // a Thursday
}

TEST(DosDateTimeTest, InvalidDatesAndTimesRaiseConvertError) {
  EXPECT_THROW(DosDateTimeToSystemTime(0), EConvertError);  // month 0
  EXPECT_THROW(DosDateTimeToSystemTime(Dos(2023, 2, 29, 0, 0, 0)), EConvertError);
  EXPECT_THROW(DosDateTimeToSystemTime(Dos(2023, 13, 1, 0, 0, 0)), EConvertError);
  EXPECT_THROW(DosDateTimeToSystemTime(Dos(2023, 4, 31, 0, 0, 0)), EConvertError);
  EXPECT_THROW(DosDateTimeToSystemTime(Dos(2023, 1, 1, 24, 0, 0)), EConvertError);
  EXPECT_THROW(DosDateTimeToSystemTime(Dos(2023, 1, 1, 0, 60, 0)), EConvertError);
  EXPECT_THROW(DosDateTimeToSystemTime(Dos(2023, 1, 1, 0, 0, 60)), EConvertError);
  EXPECT_NO_THROW(DosDateTimeToSystemTime(Dos(1980, 1, 1, 0, 0, 0)));
}

TEST(FileTimeTest, SystemTimeConvertsWithoutTimeZone) {
  TSystemTime t;
  t.Year = 1970;
  t.Month = 1;
  t.Day = 1;
  TFileTime ft;
  ASSERT_TRUE(SystemTimeToFileTime(t, ft));
  EXPECT_EQ(ft.Ticks(), 116444736000000000ULL);
  TFileTime arithmetic;
  t = DosDateTimeToSystemTime(Dos(2107, 12, 31, 23, 59, 58));
  ASSERT_TRUE(SystemTimeToFileTime(t, ft));
  ASSERT_TRUE(CalendarToFileTime(t, arithmetic));
  EXPECT_EQ(ft, arithmetic);
}

TEST(FileTimeTest, LocalToUtcShiftsByTheBiasInForce) {
  TFileTime local = TFileTime::FromTicks(133000000000000000ULL);
  TFileTime utc;
  ASSERT_TRUE(LocalFileTimeToFileTime(local, utc));
  const auto diff = static_cast<std::int64_t>(local.Ticks() - utc.Ticks());
  EXPECT_EQ(diff % (15 * 60 * 10000000LL), 0);  // whole quarter hours
  EXPECT_LE(diff < 0 ? -diff : diff, 14 * 3600 * 10000000LL);
}

}  // namespace
}  // namespace zelkupd
