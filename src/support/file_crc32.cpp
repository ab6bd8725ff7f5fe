#include "support/file_crc32.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/crc32.h"

namespace nurv {

namespace {

// One buffer for the whole process: module files are checksummed without allocating per call.
alignas(64) std::uint8_t g_read_buffer[32768];

std::FILE* OpenForReading(const std::string& path) {
  const std::filesystem::path native(std::u8string(path.begin(), path.end()));
#ifdef _WIN32
  return _wfopen(native.c_str(), L"rb");
#else
  return std::fopen(native.c_str(), "rb");
#endif
}

}  // namespace

std::uint32_t FileCrc32(const std::string& path, UiServices& ui) {
  std::uint32_t crc = 0xFFFFFFFFu;
  int error = 0;
  errno = 0;
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) {
    error = errno != 0 ? errno : EIO;
    crc = 0xFFFFFFFFu;
  } else {
    // The file is read straight into our buffer; stdio's own buffer would only copy twice.
    std::setvbuf(file, nullptr, _IONBF, 0);
    while (true) {
      const std::size_t n = std::fread(g_read_buffer, 1, sizeof g_read_buffer, file);
      if (n > 0) crc = Crc32UpdateBlock(crc, g_read_buffer, n);
      if (n < sizeof g_read_buffer) {
        if (std::ferror(file)) error = errno != 0 ? errno : EIO;
        break;
      }
    }
    std::fclose(file);
  }
  if (error != 0) {
    const std::string reason = std::generic_category().message(error);
    ui.ShowMessageBox("При вычислении контрольной суммы файла [" + path + "] возникла oшибка [" +
                      reason + "]");
  }
  return ~crc;
}

}  // namespace nurv
