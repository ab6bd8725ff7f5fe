#pragma once
#include <windows.h>

#include "base/value.h"

namespace nurv::platform::win32 {

// A SYSTEMTIME that holds a local time, as the core's DateTime.
inline DateTime FromSystemTime(const SYSTEMTIME& st) {
  using namespace std::chrono;
  const local_days date{year{st.wYear} / month{st.wMonth} / day{st.wDay}};
  return date + hours{st.wHour} + minutes{st.wMinute} + seconds{st.wSecond} +
         milliseconds{st.wMilliseconds};
}

// The SYSTEMTIME of a local DateTime; false outside the years Windows can stamp.
inline bool ToSystemTime(DateTime local_time, SYSTEMTIME& st) {
  using namespace std::chrono;
  const local_days date = floor<days>(local_time);
  const year_month_day ymd{date};
  if (!ymd.ok() || int(ymd.year()) < 1601 || int(ymd.year()) > 30827) return false;
  const hh_mm_ss<milliseconds> clock{local_time - date};
  st = SYSTEMTIME{};
  st.wYear = static_cast<WORD>(int(ymd.year()));
  st.wMonth = static_cast<WORD>(unsigned(ymd.month()));
  st.wDay = static_cast<WORD>(unsigned(ymd.day()));
  st.wDayOfWeek = static_cast<WORD>(weekday{date}.c_encoding());
  st.wHour = static_cast<WORD>(clock.hours().count());
  st.wMinute = static_cast<WORD>(clock.minutes().count());
  st.wSecond = static_cast<WORD>(clock.seconds().count());
  st.wMilliseconds = static_cast<WORD>(clock.subseconds().count());
  return true;
}

// The file time (UTC) that shows as `local_time`; false, with the thread's error set, when there
// is none.
inline bool UtcFileTimeOf(DateTime local_time, FILETIME& utc) {
  SYSTEMTIME st;
  FILETIME local;
  if (!ToSystemTime(local_time, st)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &utc);
}

}  // namespace nurv::platform::win32
