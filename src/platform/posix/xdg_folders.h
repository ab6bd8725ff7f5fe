#pragma once
#include <string>

namespace nurv::platform {

// A base folder of the freedesktop.org base directory rules: the absolute path in `variable`
// (XDG_CONFIG_HOME, ...), else `below_home` (".config", ...) in the user's home ($HOME, else the
// user database's). Empty when the user has no home.
std::string XdgBaseFolder(const char* variable, const char* below_home);

}  // namespace nurv::platform
