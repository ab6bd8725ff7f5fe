#pragma once
#include <string>

namespace nurv {

// Restores a text kept in scrambled form: groups of three decimal digits (the last one possibly
// shorter), each minus the byte of the next key character (cyclic) in Windows-1251, taken modulo
// 256 as a Windows-1251 character. `key` and the result are UTF-8. A group that is not a decimal
// number raises std::invalid_argument, as does an empty key.
std::string UnscrambleText(const std::string& scrambled, const std::string& key);

}  // namespace nurv
