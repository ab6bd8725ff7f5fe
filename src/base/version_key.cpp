#include "base/version_key.h"

#include <vector>

#include "base/text_utils.h"

namespace nurv {

std::string VersionKey(const std::string& version) {
  std::vector<std::string> parts;
  SplitText(version, ".", parts);
  std::string key;
  for (const std::string& part : parts) key += PadTo3(part);
  return key;
}

std::string VersionKey(const FourPartVersion& version) {
  return PadTo3(std::to_string(version.major)) + PadTo3(std::to_string(version.minor)) +
         PadTo3(std::to_string(version.release)) + PadTo3(std::to_string(version.build));
}

bool IsNewer(const std::string& installed_key, const std::string& available_key) {
  return installed_key < available_key;
}

}  // namespace nurv
