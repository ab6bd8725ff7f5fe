#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "base/value.h"

namespace nurv {

// The same date, hour and minute with seconds and milliseconds zero.
DateTime TruncToMinute(DateTime value);

// "DD.MM.YYYY HH:MM:SS": "." as the date separator whatever the locale.
std::string DateTimeText(DateTime value);

// "YYYY-MM-DD HH:MM:SS", with ".SSS" when the milliseconds are not zero: the form SQL texts and
// SQLite update databases hold.
std::string SqlDateTimeText(DateTime value);
// "YYYY-MM-DD HH:MM:SS" (or "T" between date and time) with an optional fraction of up to nine
// digits (milliseconds kept); nullopt for anything else or an impossible date.
std::optional<DateTime> ParseDateTimeText(std::string_view text);

}  // namespace nurv
