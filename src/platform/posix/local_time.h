#pragma once
#include <cerrno>
#include <ctime>
#include <optional>

#include "base/value.h"

namespace nurv::platform {

// A moment of the system clock as the local time of the process's time zone.
inline std::optional<DateTime> LocalDateTime(time_t stamp, std::chrono::milliseconds fraction) {
  std::tm local{};
  if (::localtime_r(&stamp, &local) == nullptr) return std::nullopt;
  using namespace std::chrono;
  const local_days day{year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
                       static_cast<unsigned>(local.tm_mday)};
  return DateTime{day.time_since_epoch()} + hours{local.tm_hour} + minutes{local.tm_min} +
         seconds{local.tm_sec} + fraction;
}

// The moment of the system clock that shows as `local_time` in the process's time zone; false
// (errno set) when there is none.
inline bool TimespecOfLocal(DateTime local_time, timespec& moment) {
  using namespace std::chrono;
  const auto day = floor<days>(local_time);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{local_time - day};
  std::tm local{};
  local.tm_year = static_cast<int>(date.year()) - 1900;
  local.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
  local.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
  local.tm_hour = static_cast<int>(clock.hours().count());
  local.tm_min = static_cast<int>(clock.minutes().count());
  local.tm_sec = static_cast<int>(clock.seconds().count());
  local.tm_isdst = -1;
  errno = 0;
  const time_t stamp = std::mktime(&local);
  if (stamp == static_cast<time_t>(-1) && errno != 0) return false;
  moment = {stamp, static_cast<long>(clock.subseconds().count()) * 1000000};
  return true;
}

}  // namespace nurv::platform
