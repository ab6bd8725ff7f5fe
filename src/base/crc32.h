#pragma once
#include <cstddef>
#include <cstdint>

namespace nurv {

// One step of the reflected CRC-32 register (polynomial 0xEDB88320) over `count` bytes, without
// the initial or final inversion; chaining calls gives the same register as one call.
std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::uint16_t count);

// The same register step over any length (used by FileCrc32 and by callers holding larger blocks).
std::uint32_t Crc32UpdateBlock(std::uint32_t crc, const std::uint8_t* data, std::size_t count);

}  // namespace nurv
