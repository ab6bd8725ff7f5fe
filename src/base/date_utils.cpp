#include "base/date_utils.h"

namespace nurv {

// floor, not truncation toward zero, so times before the epoch keep their own minute.
DateTime TruncToMinute(DateTime value) { return std::chrono::floor<std::chrono::minutes>(value); }

}  // namespace nurv
