#include "base/value.h"

#include <charconv>

#include "base/date_utils.h"

namespace nurv {

Value Coalesce(const Value& value, const Value& fallback) {
  return IsNull(value) ? fallback : value;
}

std::optional<std::string> ValueText(const Value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, *real);
    return std::string(buffer, result.ptr);
  }
  if (const auto* time = std::get_if<DateTime>(&value)) return DateTimeText(*time);
  return std::nullopt;
}

}  // namespace nurv
