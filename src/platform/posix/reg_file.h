#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The Windows .reg text format ("Windows Registry Editor Version 5.00") that stands in for the
// registry on POSIX: parsing into a document and writing it back.
namespace nurv::platform::regfile {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

struct Value {
  enum class Form { String, Dword, Hex };
  // UTF-8; "" is the key's default value, written "@".
  std::string name;
  Form form = Form::String;
  // String: the text, UTF-8 without CR, LF or NUL (other texts are kept as hex(1)).
  std::string text;
  // Dword.
  std::uint32_t number = 0;
  // Hex: the N of "hex(N):" (3 for "hex:") and the stored bytes.
  std::uint32_t hex_type = 3;
  std::vector<std::uint8_t> bytes;
  bool operator==(const Value&) const = default;
};

struct Key {
  // As written between the brackets, e.g. "HKEY_CURRENT_USER\SOFTWARE\NURVSQL".
  std::string path;
  std::vector<Value> values;
  bool operator==(const Key&) const = default;
};

struct Document {
  std::vector<Key> keys;
  bool operator==(const Document&) const = default;
};

enum class ParseStatus {
  // Everything understood.
  Ok,
  // Some lines could not be understood; the rest is in the document.
  Damaged,
  // Not a registry file of this format (no header, binary content): the document is empty.
  Unreadable,
};

struct ParseResult {
  Document document;
  ParseStatus status = ParseStatus::Ok;
  // One entry per line that was not understood: "line N: reason".
  std::vector<std::string> problems;
};

// Reads UTF-8 with or without a BOM and UTF-16LE with a BOM; never throws for any input.
ParseResult Parse(std::string_view bytes);

// UTF-8 without a BOM, LF line ends, hex data wrapped at 80 columns with "\" as regedit does.
std::string Write(const Document& document);

// Name comparison of the registry: without regard to case (ASCII, Latin-1 and Cyrillic letters).
bool NamesEqual(std::string_view a, std::string_view b);
// The form of a name under which equal names are the same string.
std::string FoldName(std::string_view name);

// UTF-16LE bytes to UTF-8 up to the first NUL character (as a REG_SZ is read); unpaired
// surrogates become U+FFFD.
std::string Utf16LeToUtf8(const std::vector<std::uint8_t>& bytes);
// UTF-8 (malformed bytes become U+FFFD) to UTF-16LE bytes with a terminating NUL character.
std::vector<std::uint8_t> Utf8ToUtf16Le(std::string_view utf8);

}  // namespace nurv::platform::regfile
