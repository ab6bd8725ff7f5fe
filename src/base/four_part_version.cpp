#include "base/four_part_version.h"

namespace nurv {

std::string VersionText(const FourPartVersion& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.release) + "." + std::to_string(version.build);
}

}  // namespace nurv
