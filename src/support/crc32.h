#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/ui_services.h"

namespace nurv {

// One step of the reflected CRC-32 register (polynomial 0xEDB88320) over `count` bytes, without
// the initial or final inversion; chaining calls gives the same register as one call.
std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::uint16_t count);

// The same register step over any length (used by FileCrc32 and by callers holding larger blocks).
std::uint32_t Crc32UpdateBlock(std::uint32_t crc, const std::uint8_t* data, std::size_t count);

// The standard CRC-32 of the whole file (equal to zlib's). On a failure to open or read, shows
// a message box naming the file and the platform's error text and returns the inverted register
// as it stood: 0 when the file could not be opened.
std::uint32_t FileCrc32(const std::string& path, UiServices& ui);

}  // namespace nurv
