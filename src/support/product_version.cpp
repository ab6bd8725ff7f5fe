#include "support/product_version.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/system_info.h"

namespace nurv {

bool ReadFileProductVersion(const std::string& path, FourPartVersion& version) {
  return platform::QueryFileProductVersion(path, version);
}

bool ReadOwnProductVersion(FourPartVersion& version) {
  return platform::QueryOwnProductVersion(version);
}

void ReadOwnFileVersion(FourPartVersion& version) {
  std::vector<std::uint8_t> resource;
  try {
    resource = platform::ReadOwnVersionResource();
  } catch (...) {
    return;
  }
  // The fixed file information starts at byte 40; its file version occupies bytes 48 to 55.
  if (resource.size() < 56) return;
  auto word = [&resource](std::size_t at) {
    return static_cast<std::uint16_t>(resource[at] | resource[at + 1] << 8);
  };
  version.major = word(50);
  version.minor = word(48);
  version.release = word(54);
  version.build = word(52);
}

}  // namespace nurv
