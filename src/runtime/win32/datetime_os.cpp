#include <windows.h>

#include "runtime/datetime.h"

namespace zelkupd {

bool SystemTimeToFileTime(const TSystemTime& time, TFileTime& result) {
  const SYSTEMTIME st{time.Year, time.Month,  time.DayOfWeek, time.Day,
                      time.Hour, time.Minute, time.Second,    time.Milliseconds};
  FILETIME ft{};
  const bool ok = ::SystemTimeToFileTime(&st, &ft) != FALSE;
  result = {ft.dwLowDateTime, ft.dwHighDateTime};
  return ok;
}

bool LocalFileTimeToFileTime(const TFileTime& local, TFileTime& utc) {
  const FILETIME in{local.Low, local.High};
  FILETIME out{};
  const bool ok = ::LocalFileTimeToFileTime(&in, &out) != FALSE;
  utc = {out.dwLowDateTime, out.dwHighDateTime};
  return ok;
}

}  // namespace zelkupd
