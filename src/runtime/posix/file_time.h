// Native stand-in for FILETIME on the native file systems: the conversion to and from the
// nanosecond times of stat(2) and utimensat(2).
#pragma once

#include <cstdint>
#include <ctime>

#include "runtime/datetime.h"

namespace zelkupd::os {

inline constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;

inline timespec ToTimespec(const TFileTime& time) {
  const std::int64_t sinceEpoch = static_cast<std::int64_t>(time.Ticks()) - kUnixEpochTicks;
  timespec result{};
  result.tv_sec = static_cast<time_t>(sinceEpoch / 10000000);
  result.tv_nsec = static_cast<long>((sinceEpoch % 10000000) * 100);
  if (result.tv_nsec < 0) {
    result.tv_nsec += 1000000000;
    result.tv_sec -= 1;
  }
  return result;
}

inline TFileTime FromTimespec(const timespec& time) {
  const std::int64_t ticks =
      static_cast<std::int64_t>(time.tv_sec) * 10000000 + time.tv_nsec / 100 + kUnixEpochTicks;
  return TFileTime::FromTicks(static_cast<std::uint64_t>(ticks));
}

}  // namespace zelkupd::os
