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

}  // namespace nurv::platform::win32
