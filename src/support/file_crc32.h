#pragma once
#include <cstdint>
#include <string>

#include "support/ui_services.h"

namespace nurv {

// The standard CRC-32 of the whole file (equal to zlib's). On a failure to open or read, shows
// a message box naming the file and the platform's error text and returns the inverted register
// as it stood: 0 when the file could not be opened.
std::uint32_t FileCrc32(const std::string& path, UiServices& ui);

}  // namespace nurv
