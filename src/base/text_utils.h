#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace nurv {

// Leading zeros up to three characters: "" → "000", "7" → "007", "15" → "015"; longer texts stay.
std::string PadTo3(const std::string& text);

// The text from `position` (1-based) up to the next character equal to `delimiter` (only a
// one-character delimiter can match) or the end. `position` moves past the delimiter, or to the
// text's length + 1 when none was found.
std::string NextToken(const std::string& text, int& position, const std::string& delimiter);

// Appends the pieces of `text` between delimiters to `list` (not cleared first). Empty pieces
// between adjacent delimiters and before a leading one count; a trailing delimiter adds none;
// an empty text adds nothing.
void SplitText(const std::string& text, const std::string& delimiter,
               std::vector<std::string>& list);

// True for a control byte: below 0x20, or 0x7F.
constexpr bool IsControlByte(char c) {
  return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F;
}

// Space, tab, CR or LF.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// `text` without the blanks at either end.
std::string_view TrimBlanks(std::string_view text);
// `text` without any of the characters of `blanks` at either end.
std::string_view TrimAny(std::string_view text, std::string_view blanks);

// ASCII case, for SQL texts, column names and keywords: A–Z only, every other byte unchanged
// (a Russian text is lowered by LowerCaseText of base/utf8.h).
constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiLowerText(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// `text` with every control byte written as \xNN (two upper-case hex digits), so that it shows
// on one line of the log as it is.
std::string EscapeControlBytes(std::string_view text);
// The same, except that each CR LF pair stays: the system's own messages put it between the lines
// of one entry, while every foreign text inside them comes escaped from where it was read.
std::string EscapeControlBytesKeepingLineBreaks(std::string_view text);

}  // namespace nurv
