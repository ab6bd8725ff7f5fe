#pragma once
#include <optional>
#include <string>
#include <vector>

namespace nurv::platform {

// The process's arguments without the program name, quotes removed as the platform splits them.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The process's environment variable `name` in UTF-8; nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const std::string& name);

// Starts a program from one command line without waiting (WinExec with SW_SHOW). Result as
// WinExec's: above 31 = started; 2 file not found, 3 path not found, 5 access denied,
// 11 bad format, 0 anything else. POSIX splits the line by Windows argument rules and finds an
// unquoted program path with blanks as CreateProcess does.
int StartProgram(const std::string& command_line);

}  // namespace nurv::platform
