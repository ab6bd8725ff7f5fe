#pragma once
// A program started by a test as a real process of the platform: stdin empty, stdout and stderr
// into files, waited for when the test wants its exit status.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace nurv::testing {

// The platform's reference to a started process: its pid on POSIX, its HANDLE on Windows.
using ProcessRef = std::intptr_t;
inline constexpr ProcessRef kNoProcess = -1;

// Starts `program` with `args` (UTF-8); kNoProcess when it cannot be started.
ProcessRef StartProcess(const std::string& program, const std::vector<std::string>& args,
                        const std::string& out_path, const std::string& err_path);

// Waits for the process to end; its exit status, or 128 + the signal that ended it.
int WaitForProcess(ProcessRef process);

// The same for `limit` at most: a process still running then is killed and -1 returned, so that a
// run that hangs fails its test instead of holding it up.
int WaitForProcessUpTo(ProcessRef process, std::chrono::seconds limit);

}  // namespace nurv::testing
