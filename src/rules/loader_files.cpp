#include "rules/loader_files.h"

#include <cstdint>
#include <cstdio>

#include "base/crc32.h"

namespace nurv {

std::span<const std::string_view> LoaderFileNames() {
  static constexpr std::string_view kNames[] = {
      "nurvloader-cli",
      "NurvLoader",
      "NurvLoader.exe",
#ifdef _WIN32
      "nurvloader-cli.exe",
#endif
  };
  return kNames;
}

std::string FileNameOf(const std::string& path) {
#ifdef _WIN32
  const std::size_t cut = path.find_last_of("\\/:");
#else
  const std::size_t cut = path.find_last_of('/');
#endif
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string StagingPath(const std::string& destination) {
  const std::string name = FileNameOf(destination);
  const std::uint32_t crc = ~Crc32UpdateBlock(
      0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(crc));
  return destination.substr(0, destination.size() - name.size()) + std::string(kStagingPrefix) +
         "-" + hex + ".tmp";
}

}  // namespace nurv
