#include "common/child_process.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>

#include "base/utf8.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <thread>

extern char** environ;
#endif

namespace nurv::testing {

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& utf8) { return Utf8ToUtf16<wchar_t>(utf8); }

// One argument as CommandLineToArgvW and the C runtime split it back.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ProcessRef TryStartProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& out_path, const std::string& err_path) {
  std::wstring line = Quoted(Wide(program));
  for (const std::string& arg : args) line += L" " + Quoted(Wide(arg));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
  startup.hStdOutput = InheritableFile(Wide(out_path), GENERIC_WRITE, CREATE_ALWAYS);
  startup.hStdError = InheritableFile(Wide(err_path), GENERIC_WRITE, CREATE_ALWAYS);
  PROCESS_INFORMATION started{};
  // No console of its own: a console program with its output in files needs none.
  const bool ok = startup.hStdInput != INVALID_HANDLE_VALUE &&
                  startup.hStdOutput != INVALID_HANDLE_VALUE &&
                  startup.hStdError != INVALID_HANDLE_VALUE &&
                  CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                 CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
  const DWORD error = GetLastError();
  for (HANDLE file : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  if (!ok) {
    SetLastError(error);
    return kNoProcess;
  }
  CloseHandle(started.hThread);
  return reinterpret_cast<ProcessRef>(started.hProcess);
}

}  // namespace

ProcessRef StartProcess(const std::string& program, const std::vector<std::string>& args,
                        const std::string& out_path, const std::string& err_path) {
  const ProcessRef process = TryStartProcess(program, args, out_path, err_path);
  if (process != kNoProcess) return process;
  // Under Wine a start has failed once in a long run and not again; a second try tells such a
  // hiccup from a program that cannot start at all, and the line says what the first one met.
  std::fprintf(stderr, "%s did not start (error %lu); trying once more\n", program.c_str(),
               GetLastError());
  Sleep(200);
  return TryStartProcess(program, args, out_path, err_path);
}

int WaitForProcess(ProcessRef process) {
  const HANDLE handle = reinterpret_cast<HANDLE>(process);
  DWORD status = 0;
  const bool ended =
      WaitForSingleObject(handle, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(handle, &status);
  CloseHandle(handle);
  return ended ? static_cast<int>(status) : -1;
}

int WaitForProcessUpTo(ProcessRef process, std::chrono::seconds limit) {
  const HANDLE handle = reinterpret_cast<HANDLE>(process);
  if (WaitForSingleObject(handle, static_cast<DWORD>(limit.count() * 1000)) == WAIT_OBJECT_0)
    return WaitForProcess(process);
  TerminateProcess(handle, 1);
  WaitForProcess(process);
  return -1;
}

#else

ProcessRef StartProcess(const std::string& program, const std::vector<std::string>& args,
                        const std::string& out_path, const std::string& err_path) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : kNoProcess;
}

int WaitForProcess(ProcessRef process) {
  int status = 0;
  while (waitpid(static_cast<pid_t>(process), &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int WaitForProcessUpTo(ProcessRef process, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const auto pid = static_cast<pid_t>(process);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  WaitForProcess(process);
  return -1;
}

#endif

}  // namespace nurv::testing
