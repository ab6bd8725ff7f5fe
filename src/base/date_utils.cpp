#include "base/date_utils.h"

#include <cstdio>

#include "base/text_utils.h"

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

std::string SqlDateTimeText(DateTime value) {
  using namespace std::chrono;
  const auto day = floor<days>(value);
  const year_month_day date{day};
  const hh_mm_ss time{value - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  std::string result = text;
  if (const auto millis = time.subseconds().count(); millis != 0) {
    std::snprintf(text, sizeof text, ".%03d", static_cast<int>(millis));
    result += text;
  }
  return result;
}

std::optional<DateTime> ParseDateTimeText(std::string_view text) {
  text = TrimBlanks(text);
  const auto digits = [&](std::size_t at, std::size_t count) -> std::optional<int> {
    if (at + count > text.size()) return std::nullopt;
    int number = 0;
    for (std::size_t i = at; i < at + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      number = number * 10 + (text[i] - '0');
    }
    return number;
  };
  if (text.size() < 19 || text[4] != '-' || text[7] != '-' ||
      (text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':')
    return std::nullopt;
  const auto year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
  const auto hour = digits(11, 2), minute = digits(14, 2), second = digits(17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  int millis = 0;
  if (text.size() > 19) {
    const std::size_t fraction = text.size() - 20;
    if (text[19] != '.' || fraction < 1 || fraction > 9) return std::nullopt;
    for (std::size_t i = 20; i < text.size(); ++i)
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
    for (std::size_t i = 20; i < 23; ++i)
      millis = millis * 10 + (i < text.size() ? text[i] - '0' : 0);
  }
  const std::chrono::year_month_day date{std::chrono::year(*year),
                                         std::chrono::month(static_cast<unsigned>(*month)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok() || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  return DateTime(std::chrono::local_days(date).time_since_epoch()) + std::chrono::hours(*hour) +
         std::chrono::minutes(*minute) + std::chrono::seconds(*second) +
         std::chrono::milliseconds(millis);
}

}  // namespace nurv
