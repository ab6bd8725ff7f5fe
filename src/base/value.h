#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace nurv {

// Civil date-time in local time, as the update table's `updatedate` and file times are compared.
using DateTime = std::chrono::local_time<std::chrono::milliseconds>;

// A database NULL; distinct from an unassigned value.
struct NullValue {
  bool operator==(const NullValue&) const = default;
};

// A field value as the database layer delivers it. std::monostate is the unassigned value.
using Value = std::variant<std::monostate, NullValue, std::int64_t, double, std::string, DateTime>;

inline bool IsNull(const Value& value) { return std::holds_alternative<NullValue>(value); }

// NULL gives a copy of `fallback`; anything else (the unassigned value too) is returned as it is.
Value Coalesce(const Value& value, const Value& fallback);

// The text a value shows as and compares as in a filter: a string as it is, a number with "." as
// the decimal separator and a date-time as "DD.MM.YYYY HH:MM:SS" whatever the locale; nullopt for
// NULL and the unassigned value.
std::optional<std::string> ValueText(const Value& value);

}  // namespace nurv
