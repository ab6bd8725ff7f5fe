#pragma once
#include <memory>
#include <string>

#include "platform/registry.h"

namespace nurv::platform {

// The registry of the current user kept in the .reg text file at `path`. Every modification is a
// read-modify-write of the whole file under an exclusive lock on `path` + ".lock", replaced
// atomically; reads take a shared lock. A batch holds the exclusive lock from its start and
// replaces the file once at its end; meanwhile this process reaches the store only through the
// batch's registry object (another one would wait for that lock). A store that cannot be understood
// in full is copied to `path` + ".broken-<date>-<time>" before it is first rewritten. The folder is
// created on the first write.
std::unique_ptr<Registry> OpenRegistryFile(const std::string& path);

// Creates `folder` and its missing parents, each one it creates private to the user (0700);
// raises RegistryError naming the folder that cannot be made.
void MakePrivateFolders(const std::string& folder);

// The file OpenCurrentUserRegistry uses: $XDG_CONFIG_HOME/nurv/registry.reg, with
// ~/.config for an unset or relative XDG_CONFIG_HOME.
std::string CurrentUserRegistryPath();

}  // namespace nurv::platform
