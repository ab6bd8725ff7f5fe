#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nurv::platform {

// The most characters a profile value yields, as GetPrivateProfileString with a 2048-character
// buffer returns.
inline constexpr std::size_t kMaxProfileValueChars = 2047;

// Looks `key` up in `section` of the initialisation file whose whole content is `file_bytes`.
// Rules of GetPrivateProfileString: section and key names match without regard to case, the first
// matching section and within it the first matching key win, lines beginning with ';' are
// comments, lines end in CR LF or LF, the value is trimmed, one pair of enclosing double or single
// quotes is removed, and at most kMaxProfileValueChars characters are kept. The content is read
// as UTF-8 when it has a UTF-8 BOM or is valid UTF-8, else as Windows-1251; the result is UTF-8.
// nullopt when the section or the key does not occur.
std::optional<std::string> FindProfileValue(std::string_view file_bytes, std::string_view section,
                                            std::string_view key);

}  // namespace nurv::platform
