#include "support/file_crc32.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "base/crc32.h"
#include "support/owned_file.h"

namespace nurv {

namespace {

// One buffer for the whole process: module files are checksummed without allocating per call.
alignas(64) std::uint8_t g_read_buffer[kFileCrc32ReadSize];

std::string ErrorText(int error) {
  return std::generic_category().message(error != 0 ? error : EIO);
}

}  // namespace

FileChecksum FileCrc32(const std::string& path) {
  std::uint32_t crc = 0xFFFFFFFFu;
  const OwnedFile file = OpenOwnedFile(path, FileAccess::Read);
  if (!file) return {~crc, ErrorText(errno)};
  while (true) {
    const std::size_t n = std::fread(g_read_buffer, 1, sizeof g_read_buffer, file.get());
    if (n > 0) crc = Crc32UpdateBlock(crc, g_read_buffer, n);
    if (n < sizeof g_read_buffer) {
      if (std::ferror(file.get())) return {~crc, ErrorText(errno)};
      return {~crc, {}};
    }
  }
}

}  // namespace nurv
