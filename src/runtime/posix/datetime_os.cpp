#include <ctime>

#include "runtime/datetime.h"

namespace zelkupd {

bool SystemTimeToFileTime(const TSystemTime& time, TFileTime& result) {
  return CalendarToFileTime(time, result);
}

bool LocalFileTimeToFileTime(const TFileTime& local, TFileTime& utc) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  if (localtime_r(&now, &parts) == nullptr) {
    return false;
  }
  const auto bias = static_cast<std::int64_t>(parts.tm_gmtoff) * 10000000LL;
  utc = TFileTime::FromTicks(
      static_cast<std::uint64_t>(static_cast<std::int64_t>(local.Ticks()) - bias));
  return true;
}

}  // namespace zelkupd
