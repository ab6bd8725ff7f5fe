#pragma once
// UTF-8 building blocks shared by the text converters and the case-blind name comparisons.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

namespace nurv {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp);

// Decodes the well-formed character at `pos` into `cp`; returns its length, 0 when the bytes
// there are malformed (overlong forms, surrogates and anything above U+10FFFF included).
std::size_t DecodeUtf8(std::string_view s, std::size_t pos, char32_t& cp);

// The character at `pos`, advancing past it; a malformed byte gives U+FFFD and is skipped alone.
char32_t NextCodePoint(std::string_view s, std::size_t& pos);

// True when `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// The lower case of the letters Windows lowers for Russian texts: Latin, Latin-1 and Cyrillic
// (Ё, Ґ and the other letters of Windows-1251 among them); any other character unchanged.
char32_t LowerCaseCodePoint(char32_t cp);

// Lower case of a UTF-8 text: ASCII, Latin-1 letters and Cyrillic (Ё and Ѐ–Я included); any other
// character, and bytes that are not valid UTF-8, stay as they are.
std::string LowerCaseText(std::string_view text);

// A UTF-8 path as std::filesystem takes it: a plain string would be read in the ANSI code page on
// Windows.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// The other way: a path as UTF-8 text.
std::string Utf8FromPath(const std::filesystem::path& path);

// UTF-16 code units (of whatever unit type an interface uses) to UTF-8; an unpaired surrogate
// becomes U+FFFD and sets `*damaged`.
template <typename Unit>
std::string Utf16ToUtf8(const Unit* units, std::size_t count, bool* damaged = nullptr) {
  const auto at = [units](std::size_t i) {
    return static_cast<char32_t>(static_cast<std::make_unsigned_t<Unit>>(units[i]));
  };
  std::string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    char32_t cp = at(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && at(i + 1) >= 0xDC00 &&
        at(i + 1) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (at(i + 1) - 0xDC00);
      ++i;
    } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
      cp = kReplacementCharacter;
      if (damaged != nullptr) *damaged = true;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

// UTF-8 to UTF-16 code units; a malformed byte becomes U+FFFD.
template <typename Unit>
std::basic_string<Unit> Utf8ToUtf16(std::string_view utf8) {
  std::basic_string<Unit> out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, pos);
    if (cp >= 0x10000) {
      out += static_cast<Unit>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<Unit>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<Unit>(cp);
    }
  }
  return out;
}

}  // namespace nurv
