#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/posix/command_line.h"

extern char** environ;

namespace nurv::platform {

namespace {

constexpr char kBlanks[] = " \t";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The results WinExec gives for the same failures.
constexpr int kStarted = 33;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kBadFormat = 11;
constexpr int kOtherFailure = 0;

int ResultOfErrno(int error) {
  switch (error) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kAccessDenied;
    case ENOEXEC:
      return kBadFormat;
    default:
      return kOtherFailure;
  }
}

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// WinExec tells a missing file from a missing folder; posix_spawn says ENOENT for both.
int CheckProgramPath(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    if (error == ENOENT) {
      struct stat parent {};
      const std::string folder = ParentFolder(path);
      if (stat(folder.c_str(), &parent) != 0 || !S_ISDIR(parent.st_mode)) return kPathNotFound;
      return kFileNotFound;
    }
    return ResultOfErrno(error);
  }
  if (S_ISDIR(info.st_mode)) return kAccessDenied;
  if (access(path.c_str(), X_OK) != 0) return kAccessDenied;
  return kStarted;
}

// The started program is not waited for, but its exit status is collected so that it does not
// stay behind as a zombie while the loader still runs; only this child is reaped, so other
// children of the process keep their own waitpid.
void ReapLater(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

// Appends the arguments of `line` from position `i` on, split by the argument rules.
void SplitArguments(const std::string& line, std::size_t i, std::vector<std::string>& args) {
  const std::size_t n = line.size();
  while (true) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        std::size_t count = 0;
        while (i < n && line[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < n && line[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2 == 1) {
            arg += '"';
            ++i;
          }
          // An even count leaves the quote for the toggle below.
        } else {
          arg.append(count, '\\');
        }
        continue;
      }
      if (line[i] == '"') {
        ++i;
        if (quoted && i < n && line[i] == '"') {
          arg += '"';
          ++i;
          quoted = false;
        } else {
          quoted = !quoted;
        }
        continue;
      }
      arg += line[i++];
    }
    args.push_back(std::move(arg));
  }
}

// A path, not a bare name (that one is searched on PATH), that names an existing non-folder.
bool NamesExistingFile(const std::string& path) {
  struct stat info {};
  return path.find('/') != std::string::npos && stat(path.c_str(), &info) == 0 &&
         !S_ISDIR(info.st_mode);
}

// The program and its arguments as CreateProcess finds them: an unquoted program name that names
// no file is extended word by word, blanks included, up to the whole line, and the first that
// names a file is the program, the rest of the line its arguments. When none does, the line is
// split as it stands and the first word reports the failure.
std::vector<std::string> ProgramAndArguments(const std::string& line) {
  std::vector<std::string> args = SplitWindowsCommandLine(line);
  if (args.empty()) return args;
  const std::size_t start = line.find_first_not_of(kBlanks);
  if (line[start] == '"' || NamesExistingFile(args.front())) return args;
  std::size_t end = start + args.front().size();
  for (std::size_t word = line.find_first_not_of(kBlanks, end); word != std::string::npos;
       word = line.find_first_not_of(kBlanks, end)) {
    end = std::min(line.find_first_of(kBlanks, word), line.size());
    std::string candidate = line.substr(start, end - start);
    if (NamesExistingFile(candidate)) {
      std::vector<std::string> found{std::move(candidate)};
      SplitArguments(line, end, found);
      return found;
    }
  }
  return args;
}

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(const std::string& line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n && IsBlank(line[i])) ++i;
  if (i >= n) return args;

  // The program name: no escapes at all.
  std::string program;
  if (line[i] == '"') {
    ++i;
    while (i < n && line[i] != '"') program += line[i++];
    if (i < n) ++i;
  } else {
    while (i < n && !IsBlank(line[i])) program += line[i++];
  }
  args.push_back(program);
  SplitArguments(line, i, args);
  return args;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  return args;
}

std::optional<std::string> EnvironmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return value;
}

int StartProgram(const std::string& command_line) {
  const std::vector<std::string> args = ProgramAndArguments(command_line);
  if (args.empty() || args.front().empty()) return kFileNotFound;
  const std::string& program = args.front();
  const bool has_folder = program.find('/') != std::string::npos;
  if (has_folder) {
    const int checked = CheckProgramPath(program);
    if (checked != kStarted) return checked;
  }

  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // The program runs on by itself: it reads no input from the loader and writes nothing into the
  // loader's output, which carries only the log.
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return kOtherFailure;
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

  pid_t pid = 0;
  const int error =
      has_folder ? posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ)
                 : posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return ResultOfErrno(error);
  ReapLater(pid);
  return kStarted;
}

}  // namespace nurv::platform
