#include "platform/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/unique_fd.h"
#include "platform/posix/xdg_folders.h"
#include "platform/retry_until.h"

namespace nurv::platform {

namespace {

// Opening the log neither follows a link nor waits for the reader of a pipe; closing it, however
// the append ends, drops its lock.
UniqueFd OpenLog(const std::string& path) {
  return UniqueFd(
      ::open(path.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
}

bool MakeFolders(const std::string& folder) {
  for (std::size_t pos = folder.find('/', 1);; pos = folder.find('/', pos + 1)) {
    const std::string partial = folder.substr(0, pos);
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) return true;
  }
}

// What was opened, checked on the open file: a pipe or a device put at the log's name is no log.
bool IsRegularFile(int fd) {
  struct stat opened {};
  return fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode);
}

bool LockExclusive(int fd, std::chrono::steady_clock::time_point deadline) {
  return RetryUntil(deadline, [fd] { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; });
}

bool Rotate(const std::string& path, int old_files) {
  for (int n = old_files - 1; n >= 1; --n) {
    const std::string from = path + "." + std::to_string(n);
    if (::rename(from.c_str(), (path + "." + std::to_string(n + 1)).c_str()) != 0 &&
        errno != ENOENT) {
      return false;
    }
  }
  return ::rename(path.c_str(), (path + ".1").c_str()) == 0;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::string UserLogFilePath() {
  const std::string state = XdgBaseFolder("XDG_STATE_HOME", ".local/state");
  return state.empty() ? std::string() : state + "/nurv/loader.log";
}

bool AppendToLogFile(const std::string& path, const std::vector<std::string>& lines,
                     LogRotation rotation, std::chrono::milliseconds lock_wait) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + '\n';
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) return false;
  // The file the lock is taken on may have been renamed aside by another writer meanwhile: then
  // the lock is taken again on the file that now has the name. Two rounds always suffice unless
  // other writers rotate again in between.
  const auto deadline = std::chrono::steady_clock::now() + lock_wait;
  for (int round = 0; round < 8; ++round) {
    const UniqueFd log = OpenLog(path);
    struct stat opened {};
    struct stat named {};
    if (!IsRegularFile(log.Get()) || !LockExclusive(log.Get(), deadline) ||
        ::fstat(log.Get(), &opened) != 0) {
      return false;
    }
    if (::lstat(path.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
        named.st_dev != opened.st_dev) {
      continue;
    }
    if (rotation.old_files > 0 && static_cast<std::uint64_t>(opened.st_size) >= rotation.max_size) {
      if (!Rotate(path, rotation.old_files)) return false;
      continue;
    }
    if (WriteAll(log.Get(), bytes)) return true;
    // No half line stays behind for the next writer to continue; the append has failed either way.
    const int taken_back = ::ftruncate(log.Get(), opened.st_size);
    static_cast<void>(taken_back);
    return false;
  }
  return false;
}

}  // namespace nurv::platform
