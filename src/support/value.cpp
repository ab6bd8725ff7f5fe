#include "support/value.h"

namespace nurv {

Value Coalesce(const Value& value, const Value& fallback) {
  return IsNull(value) ? fallback : value;
}

}  // namespace nurv
