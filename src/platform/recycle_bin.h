#pragma once
#include <string>

namespace nurv::platform {

// Moves a file or a folder with everything in it to the recycle bin, without confirmation,
// progress or messages (POSIX: the freedesktop.org Trash of $XDG_DATA_HOME). True on success.
bool MoveToRecycleBin(const std::string& path);

}  // namespace nurv::platform
