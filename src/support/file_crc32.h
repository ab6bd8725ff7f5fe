#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace nurv {

// The checksum of a file, and why it could not be read to its end.
struct FileChecksum {
  // The inverted register as it stood: the standard CRC-32 when the whole file was read, 0 when
  // it could not be opened, the checksum of the bytes read so far when a later read failed.
  std::uint32_t crc = 0;
  // The platform's text of the failure to open or read; empty when the whole file was read.
  std::string error;
};

// FileCrc32 reads this many bytes at a time: few system calls, while the bytes just read are still
// in the core's second-level cache when they are folded in.
inline constexpr std::size_t kFileCrc32ReadSize = 512 * 1024;

// The standard CRC-32 of the whole file (equal to zlib's). Reports nothing itself: the caller
// decides who is told of a failure.
FileChecksum FileCrc32(const std::string& path);

}  // namespace nurv
