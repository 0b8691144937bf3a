#include "runtime/datetime.h"

#include "runtime/errors.h"

namespace zelkupd {
namespace {

bool IsLeapYear(unsigned year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date (proleptic Gregorian); the civil-from-days inverse of
// Howard Hinnant's algorithm.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

TSystemTime DosDateTimeToSystemTime(std::uint32_t dosDateTime) {
  const unsigned time = dosDateTime & 0xFFFFu;
  const unsigned date = dosDateTime >> 16;
  TSystemTime result;
  result.Year = static_cast<std::uint16_t>((date >> 9) + 1980);
  result.Month = static_cast<std::uint16_t>((date >> 5) & 0x0F);
  result.Day = static_cast<std::uint16_t>(date & 0x1F);
  result.Hour = static_cast<std::uint16_t>(time >> 11);
  result.Minute = static_cast<std::uint16_t>((time >> 5) & 0x3F);
  result.Second = static_cast<std::uint16_t>(2 * (time & 0x1F));
  if (result.Month < 1 || result.Month > 12 || result.Day < 1 ||
      result.Day > DaysInMonth(result.Year, result.Month)) {
    throw EConvertError(u"日付のエンコードに対する引数が無効です");
  }
  if (result.Hour >= 24 || result.Minute >= 60 || result.Second >= 60) {
    throw EConvertError(u"時刻のエンコードに対する引数が無効です");
  }
  const long long days = DaysFromCivil(result.Year, result.Month, result.Day);
  result.DayOfWeek = static_cast<std::uint16_t>((days % 7 + 11) % 7);  // 1970-01-01 was Thursday
  return result;
}

bool CalendarToFileTime(const TSystemTime& time, TFileTime& result) {
  if (time.Year < 1601 || time.Year > 30827 || time.Month < 1 || time.Month > 12 || time.Day < 1 ||
      time.Day > DaysInMonth(time.Year, time.Month) || time.Hour > 23 || time.Minute > 59 ||
      time.Second > 59 || time.Milliseconds > 999) {
    return false;
  }
  constexpr long long kDaysFrom1601To1970 = 134774;
  const long long days = DaysFromCivil(time.Year, time.Month, time.Day) + kDaysFrom1601To1970;
  const long long seconds = days * 86400LL + time.Hour * 3600LL + time.Minute * 60LL + time.Second;
  const auto ticks = static_cast<std::uint64_t>(seconds * 10000000LL + time.Milliseconds * 10000LL);
  result = TFileTime::FromTicks(ticks);
  return true;
}

}  // namespace zelkupd
