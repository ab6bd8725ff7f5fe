#include "support/file_crc32.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/crc32.h"
#include "base/utf8.h"

namespace nurv {

namespace {

// One buffer for the whole process: module files are checksummed without allocating per call.
alignas(64) std::uint8_t g_read_buffer[32768];

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

std::FILE* OpenForReading(const std::string& path) {
  const std::filesystem::path native = PathFromUtf8(path);
#ifdef _WIN32
  return _wfopen(native.c_str(), L"rb");
#else
  return std::fopen(native.c_str(), "rb");
#endif
}

std::string ErrorText(int error) {
  return std::generic_category().message(error != 0 ? error : EIO);
}

}  // namespace

FileChecksum FileCrc32(const std::string& path) {
  std::uint32_t crc = 0xFFFFFFFFu;
  errno = 0;
  const OwnedFile file(OpenForReading(path));
  if (!file) return {~crc, ErrorText(errno)};
  // The file is read straight into our buffer; stdio's own buffer would only copy twice.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
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
