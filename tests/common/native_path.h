#pragma once
// Test cases write paths with "/"; the loader's folders and the paths it builds from them use the
// platform's separator.
#include <string>

#include "platform/paths.h"

namespace nurv::testing {

inline std::string Native(std::string path) {
  for (char& c : path) {
    if (c == '/') c = platform::kPathDelim;
  }
  return path;
}

}  // namespace nurv::testing
