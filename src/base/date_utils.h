#pragma once
#include "base/value.h"

namespace nurv {

// The same date, hour and minute with seconds and milliseconds zero.
DateTime TruncToMinute(DateTime value);

}  // namespace nurv
