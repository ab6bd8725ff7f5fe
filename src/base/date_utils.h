#pragma once
#include <string>

#include "base/value.h"

namespace nurv {

// The same date, hour and minute with seconds and milliseconds zero.
DateTime TruncToMinute(DateTime value);

// "DD.MM.YYYY HH:MM:SS": "." as the date separator whatever the locale.
std::string DateTimeText(DateTime value);

}  // namespace nurv
