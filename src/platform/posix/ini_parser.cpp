#include "platform/posix/ini_parser.h"

#include "base/cp1251.h"
#include "base/text_utils.h"
#include "base/utf8.h"

namespace nurv::platform {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The blanks the profile functions trim around names and values.
std::string_view Trim(std::string_view s) { return TrimAny(s, " \t\v\f"); }

// A file that declares UTF-8 by its BOM stays UTF-8; a byte that breaks it becomes U+FFFD, as
// the system's conversion does.
std::string ReplaceMalformedUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 16);
  for (std::size_t pos = 0; pos < bytes.size();) AppendUtf8(out, NextCodePoint(bytes, pos));
  return out;
}

// Keeps at most `limit` UTF-8 characters.
std::string_view TruncateChars(std::string_view utf8, std::size_t limit) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
      if (chars == limit) return utf8.substr(0, i);
      ++chars;
    }
  }
  return utf8;
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view file_bytes, std::string_view section,
                                            std::string_view key) {
  std::string text;
  if (file_bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    text = ReplaceMalformedUtf8(file_bytes.substr(kUtf8Bom.size()));
  } else if (IsValidUtf8(file_bytes)) {
    text = file_bytes;
  } else {
    text = Cp1251ToUtf8(file_bytes);
  }
  const std::string wanted_section = LowerCaseText(Trim(section));
  const std::string wanted_key = LowerCaseText(Trim(key));

  bool section_seen = false;  // only the first matching section counts
  bool in_section = false;
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (in_section) return std::nullopt;  // the section ended without the key
      // A section line without its ']' still ends the section before it but matches nothing.
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) continue;
      if (!section_seen && LowerCaseText(Trim(line.substr(1, close - 1))) == wanted_section) {
        section_seen = true;
        in_section = true;
      }
      continue;
    }
    if (!in_section) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (LowerCaseText(Trim(line.substr(0, eq))) != wanted_key) continue;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(TruncateChars(value, kMaxProfileValueChars));
  }
  return std::nullopt;
}

}  // namespace nurv::platform
