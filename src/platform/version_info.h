#pragma once
#include <cstdint>
#include <string>

namespace nurv::platform {

struct FourPartVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t release = 0;
  std::uint16_t build = 0;
  bool operator==(const FourPartVersion&) const = default;
};

// Product version from the fixed file information of the file's version resource.
// False (and `version` untouched) when the file is missing or has no version information.
bool QueryFileProductVersion(const std::string& path, FourPartVersion& version);
// The same for the running executable (POSIX: the compiled-in version).
bool QueryOwnProductVersion(FourPartVersion& version);

}  // namespace nurv::platform
