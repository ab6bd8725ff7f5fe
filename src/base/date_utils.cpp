#include "base/date_utils.h"

#include <cstdio>

namespace nurv {

// floor, not truncation toward zero, so times before the epoch keep their own minute.
DateTime TruncToMinute(DateTime value) { return std::chrono::floor<std::chrono::minutes>(value); }

std::string DateTimeText(DateTime value) {
  const auto day = std::chrono::floor<std::chrono::days>(value);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss time{value - day};
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%02u.%02u.%04d %02d:%02d:%02d",
                static_cast<unsigned>(date.day()), static_cast<unsigned>(date.month()),
                static_cast<int>(date.year()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));
  return buffer;
}

}  // namespace nurv
