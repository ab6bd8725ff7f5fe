#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/value.h"

namespace nurv::platform {

// Full path of the running executable, links resolved.
std::string OwnExecutablePath();

// The operating system's product name (POSIX: PRETTY_NAME of /etc/os-release).
std::string OsProductName();

// The system folder (POSIX: the folder of the system's 7-Zip library), without a final separator.
std::string SystemFolder();

// The user's temporary folder without a final separator (POSIX: $TMPDIR/nurv-<uid> below an
// absolute $TMPDIR, mode 0700, created when missing, owner checked; std::runtime_error when
// refused).
std::string UserTempFolder();

// The name the current user logs on with, and the computer's name; empty when unknown.
std::string UserName();
std::string HostName();

// The clock's time now, in local time.
DateTime LocalNow();

// Raw bytes of the executable's own version resource "#1"; empty when there is none. On POSIX
// the resource is built from the compiled-in version, laid out as Windows lays it out.
std::vector<std::uint8_t> ReadOwnVersionResource();

}  // namespace nurv::platform
