#include "platform/posix/xdg_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace nurv::platform {

std::string XdgBaseFolder(const char* variable, const char* below_home) {
  // A relative value is to be ignored, as if it were unset.
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') return value;
  std::string home;
  if (const char* env_home = std::getenv("HOME"); env_home != nullptr && env_home[0] != '\0') {
    home = env_home;
  } else if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
    home = entry->pw_dir;
  }
  if (home.empty()) return {};
  return home + "/" + below_home;
}

}  // namespace nurv::platform
