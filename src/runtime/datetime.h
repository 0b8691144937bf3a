// DOS and Windows date-times: the calendar split of a DOS date-time and the FILETIME conversions
// that stamp extracted files.
#pragma once

#include <cstdint>

namespace zelkupd {

// A calendar date and time of day with millisecond resolution (the fields of SYSTEMTIME).
struct TSystemTime {
  std::uint16_t Year = 0;
  std::uint16_t Month = 0;
  std::uint16_t DayOfWeek = 0;  // 0 is Sunday
  std::uint16_t Day = 0;
  std::uint16_t Hour = 0;
  std::uint16_t Minute = 0;
  std::uint16_t Second = 0;
  std::uint16_t Milliseconds = 0;
};

// 100-nanosecond intervals since 1601-01-01, as two 32-bit halves.
struct TFileTime {
  std::uint32_t Low = 0;
  std::uint32_t High = 0;
  std::uint64_t Ticks() const { return (std::uint64_t{High} << 32) | Low; }
  static TFileTime FromTicks(std::uint64_t ticks) {
    return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
  }
  friend bool operator==(const TFileTime&, const TFileTime&) = default;
};

// Splits a DOS date-time (time in the low 16 bits, date in the high 16 bits) into calendar
// fields, the day of the week included. Raises EConvertError when it is no valid date or time.
TSystemTime DosDateTimeToSystemTime(std::uint32_t dosDateTime);

// The calendar time as a FILETIME by arithmetic alone, no time zone applied; false when a field is
// out of range. The native binding's SystemTimeToFileTime, and the tests' expected values.
bool CalendarToFileTime(const TSystemTime& time, TFileTime& result);

// SystemTimeToFileTime: the same calendar time as a FILETIME, no time zone applied. False when the
// fields are out of range.
bool SystemTimeToFileTime(const TSystemTime& time, TFileTime& result);

// LocalFileTimeToFileTime: local to UTC with the bias in force now (not the bias of that date).
bool LocalFileTimeToFileTime(const TFileTime& local, TFileTime& utc);

}  // namespace zelkupd
