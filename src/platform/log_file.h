#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace nurv::platform {

// The user's own log file of the loader: %LOCALAPPDATA%\NURV\Logs\NurvLoader.log on Windows,
// $XDG_STATE_HOME/nurv/loader.log on POSIX (~/.local/state for an unset or relative
// XDG_STATE_HOME). Empty when the user has no such folder.
std::string UserLogFilePath();

// When a log file is renamed aside, and how many renamed files are kept.
struct LogRotation {
  std::uint64_t max_size = 0;  // bytes
  int old_files = 0;
};

// Appends `lines`, each ended by the platform's line end, to the file `path` in one write under an
// exclusive lock of the file, so that writers in other processes never split a line. Before the
// write and under the same lock, a file that has reached `rotation.max_size` becomes "<path>.1"
// (".1" becomes ".2", and so on up to `rotation.old_files`; the oldest is dropped). Missing folders
// are made. Only a regular file is written: a link (on Windows, any reparse point), a pipe, a
// device or a folder at `path` is left alone; nothing waits for a reader, and the lock is waited
// for `lock_wait` at most. False when any of it fails; a failed write leaves no part of the lines
// behind where the system allows taking it back.
bool AppendToLogFile(const std::string& path, const std::vector<std::string>& lines,
                     LogRotation rotation, std::chrono::milliseconds lock_wait);

}  // namespace nurv::platform
