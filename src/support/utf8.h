#pragma once
// UTF-8 building blocks shared by the text converters and the case-blind name comparisons.
#include <cstddef>
#include <string>
#include <string_view>

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

}  // namespace nurv
