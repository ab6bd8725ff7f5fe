#pragma once
#include <string>

#include "base/four_part_version.h"

namespace nurv::platform {

// Product version from the fixed file information of the file's version resource.
// False (and `version` untouched) when the file is missing or has no version information.
bool QueryFileProductVersion(const std::string& path, FourPartVersion& version);
// The same for the running executable (POSIX: the compiled-in version).
bool QueryOwnProductVersion(FourPartVersion& version);

}  // namespace nurv::platform
