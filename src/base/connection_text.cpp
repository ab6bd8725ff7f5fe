#include "base/connection_text.h"

#include "base/text_utils.h"

namespace nurv {

namespace {

constexpr std::string_view kMask = "***";

bool IsPasswordKey(std::string_view key) {
  key = TrimBlanks(key);
  return EqualsIgnoringAsciiCase(key, "pwd") || EqualsIgnoringAsciiCase(key, "password");
}

char ClosingQuote(char opening) {
  switch (opening) {
    case '{':
      return '}';
    case '"':
    case '\'':
      return opening;
    default:
      return '\0';
  }
}

// Where the value that starts at `start` ends: at the ';' after it, or at the end of the text. A
// quoted value runs to its closing quote (a doubled one stands for itself), so a ';' inside it
// ends nothing; an unclosed quote runs to the end.
std::size_t ValueEnd(std::string_view text, std::size_t start) {
  std::size_t at = start;
  while (at < text.size() && IsBlank(text[at])) ++at;
  const char closing = at < text.size() ? ClosingQuote(text[at]) : '\0';
  if (closing != '\0') {
    for (++at; at < text.size(); ++at) {
      if (text[at] != closing) continue;
      if (at + 1 < text.size() && text[at + 1] == closing) {
        ++at;
        continue;
      }
      break;
    }
  }
  const std::size_t semicolon = text.find(';', at);
  return semicolon == std::string_view::npos ? text.size() : semicolon;
}

}  // namespace

std::string HidePasswords(std::string_view connection_text) {
  std::string shown;
  std::size_t at = 0;
  // The backend's prefix is no part of the first attribute's name.
  if (connection_text.size() >= 5 && EqualsIgnoringAsciiCase(connection_text.substr(0, 5), "odbc:"))
    at = 5;
  shown += connection_text.substr(0, at);
  while (at < connection_text.size()) {
    const std::size_t mark = connection_text.find_first_of("=;", at);
    if (mark == std::string_view::npos || connection_text[mark] == ';') {
      const std::size_t end = mark == std::string_view::npos ? connection_text.size() : mark + 1;
      shown += connection_text.substr(at, end - at);
      at = end;
      continue;
    }
    const std::size_t end = ValueEnd(connection_text, mark + 1);
    shown += connection_text.substr(at, mark + 1 - at);
    if (IsPasswordKey(connection_text.substr(at, mark - at))) {
      shown += kMask;
    } else {
      shown += connection_text.substr(mark + 1, end - mark - 1);
    }
    at = end;
  }
  return shown;
}

std::string ShownConnectionText(std::string_view connection_text) {
  return EscapeControlBytes(HidePasswords(connection_text));
}

}  // namespace nurv
