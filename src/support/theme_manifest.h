#pragma once
#include <string>

namespace nurv {

// The manifest beside the executable at `executable_path` (its path + ".manifest") that gives the
// window the themed common controls. An existing manifest is left as it is. Failures give false.
bool WriteThemeManifest(const std::string& executable_path);
// True when no manifest is left (also when there was none).
bool DeleteThemeManifest(const std::string& executable_path);

}  // namespace nurv
