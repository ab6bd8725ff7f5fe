#include "platform/process.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

std::vector<std::string> CommandLineArguments(int, char**) {
  // argv of a mingw program is in the ANSI code page; the wide command line loses nothing.
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return arguments;
  const win32::UniqueLocalMemory owner(wide);
  for (int i = 1; i < count; ++i) arguments.push_back(win32::Narrow(wide[i]));
  return arguments;
}

std::optional<std::string> EnvironmentVariable(const std::string& name) {
  const std::wstring wide_name = win32::Widen(name);
  std::wstring value(256, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    // Too small: the length asked for counts the terminating NUL.
    if (length < value.size()) {
      value.resize(length);
      return win32::Narrow(value);
    }
    value.resize(length);
  }
}

int StartProgram(const std::string& command_line) {
  // WinExec's own start (CreateProcess, no application name, SW_SHOW), but through the wide
  // API: WinExec takes the ANSI code page, which cannot carry every character of a caption.
  std::wstring line = win32::Widen(command_line);
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    // Not waited for: the handles go at once.
    const win32::UniqueKernelHandle thread(process.hThread);
    const win32::UniqueKernelHandle started(process.hProcess);
    return 33;
  }
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
      return 2;
    case ERROR_PATH_NOT_FOUND:
      return 3;
    case ERROR_ACCESS_DENIED:
      return 5;
    case ERROR_BAD_FORMAT:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
      return 11;
    default:
      return 0;
  }
}

}  // namespace nurv::platform
