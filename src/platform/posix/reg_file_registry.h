#pragma once
#include <memory>
#include <string>

#include "platform/registry.h"

namespace nurv::platform {

// The registry of the current user kept in the .reg text file at `path`. Every modification is a
// read-modify-write of the whole file under an exclusive lock on `path` + ".lock", replaced
// atomically; reads take a shared lock. A store that cannot be understood in full is copied to
// `path` + ".broken-<date>-<time>" before it is first rewritten. The folder is created on the
// first write.
std::unique_ptr<Registry> OpenRegistryFile(const std::string& path);

// The file OpenCurrentUserRegistry uses: $XDG_CONFIG_HOME/nurv/registry.reg, with
// ~/.config for an unset or relative XDG_CONFIG_HOME.
std::string CurrentUserRegistryPath();

}  // namespace nurv::platform
