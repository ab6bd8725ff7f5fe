#pragma once
#include <string>

namespace nurv {

// The manifest beside the running executable (its path + ".manifest") that gives the window the
// themed common controls. An existing manifest is left as it is. Failures give false.
bool WriteThemeManifest();
// True when no manifest is left (also when there was none).
bool DeleteThemeManifest();

// The same for the executable at `executable_path`.
bool WriteThemeManifestFor(const std::string& executable_path);
bool DeleteThemeManifestFor(const std::string& executable_path);

}  // namespace nurv
