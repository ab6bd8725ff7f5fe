#pragma once
#include <string>
#include <string_view>

namespace nurv {

// Windows-1251 bytes to UTF-8. The one undefined byte, 0x98, becomes U+0098 (as Windows and
// browsers decode it), so every byte sequence converts and converts back unchanged.
std::string Cp1251ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1251; a character without a Windows-1251 form, and every byte of a malformed
// UTF-8 sequence, becomes '?'.
std::string Utf8ToCp1251(std::string_view utf8);

}  // namespace nurv
