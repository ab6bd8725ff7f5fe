#include <string>
#include <string_view>

#include "base/text_utils.h"
#include "db/db_internal.h"

namespace nurv::db {

std::string StripNolockHint(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  std::size_t i = 0;
  const auto copy_until = [&](std::size_t from, char close, bool doubled) {
    std::size_t j = from + 1;
    while (j < sql.size()) {
      if (sql[j] == close) {
        if (doubled && j + 1 < sql.size() && sql[j + 1] == close) {
          j += 2;
          continue;
        }
        ++j;
        break;
      }
      ++j;
    }
    out.append(sql.substr(from, j - from));
    return j;
  };
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      i = copy_until(i, c, true);
    } else if (c == '[') {
      i = copy_until(i, ']', true);
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = sql.find('\n', i);
      const std::size_t stop = end == sql.npos ? sql.size() : end;
      out.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const std::size_t end = sql.find("*/", i + 2);
      const std::size_t stop = end == sql.npos ? sql.size() : end + 2;
      out.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '(') {
      std::size_t j = i + 1;
      while (j < sql.size() && IsBlank(sql[j])) ++j;
      constexpr std::string_view kHint = "nolock";
      bool hint = j + kHint.size() <= sql.size();
      for (std::size_t k = 0; hint && k < kHint.size(); ++k)
        hint = AsciiLower(sql[j + k]) == kHint[k];
      if (hint) {
        j += kHint.size();
        while (j < sql.size() && IsBlank(sql[j])) ++j;
        hint = j < sql.size() && sql[j] == ')';
      }
      if (hint) {
        i = j + 1;
      } else {
        out += c;
        ++i;
      }
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace nurv::db
