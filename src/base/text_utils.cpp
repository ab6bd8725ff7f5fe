#include "base/text_utils.h"

#include <algorithm>

namespace nurv {

namespace {

// Length in bytes of the UTF-8 character that starts with `lead` (1 for a stray byte), so a
// multi-byte character is compared with the delimiter as a whole.
std::size_t CharLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

std::size_t CountChars(const std::string& text) {
  std::size_t chars = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
  }
  return chars;
}

}  // namespace

std::string PadTo3(const std::string& text) {
  const std::size_t chars = CountChars(text);
  return chars >= 3 ? text : std::string(3 - chars, '0') + text;
}

std::string NextToken(const std::string& text, int& position, const std::string& delimiter) {
  const std::size_t length = text.size();
  const std::size_t start = position < 1 ? 0 : static_cast<std::size_t>(position) - 1;
  std::size_t i = start;
  while (i < length) {
    const std::size_t char_length =
        std::min(CharLength(static_cast<unsigned char>(text[i])), length - i);
    if (text.compare(i, char_length, delimiter) == 0) {
      position = static_cast<int>(i + char_length) + 1;
      return text.substr(start, i - start);
    }
    i += char_length;
  }
  position = static_cast<int>(length) + 1;
  return start < length ? text.substr(start) : std::string();
}

void SplitText(const std::string& text, const std::string& delimiter,
               std::vector<std::string>& list) {
  if (text.empty()) return;
  if (delimiter.empty() || text.find(delimiter) == std::string::npos) {
    list.push_back(text);
    return;
  }
  int position = 1;
  while (static_cast<std::size_t>(position) <= text.size()) {
    list.push_back(NextToken(text, position, delimiter));
  }
}

std::string EscapeControlBytes(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (!IsControlByte(c)) {
      out += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

std::string_view TrimAny(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string_view TrimBlanks(std::string_view text) { return TrimAny(text, " \t\r\n"); }

std::string AsciiLowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

std::string EscapeControlBytesKeepingLineBreaks(std::string_view text) {
  std::string out;
  for (std::size_t start = 0;;) {
    const std::size_t line_break = text.find("\r\n", start);
    out += EscapeControlBytes(text.substr(start, line_break - start));
    if (line_break == std::string_view::npos) return out;
    out += "\r\n";
    start = line_break + 2;
  }
}

}  // namespace nurv
