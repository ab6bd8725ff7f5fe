#pragma once
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

}  // namespace nurv::platform
