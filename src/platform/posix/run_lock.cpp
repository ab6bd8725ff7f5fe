#include "platform/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/posix/reg_file_registry.h"
#include "platform/posix/unique_fd.h"

namespace nurv::platform {

namespace {

class FileRunLock : public RunLock {
 public:
  explicit FileRunLock(UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  UniqueFd fd_;
};

[[noreturn]] void Refuse(const std::string& path, int error) {
  // O_NOFOLLOW refuses a link with ELOOP; a folder cannot be opened for writing.
  const bool not_a_file = error == ELOOP || error == EISDIR;
  throw RunLockError(not_a_file ? RunLockError::Reason::NotAFile : RunLockError::Reason::System,
                     path, std::system_category().message(error));
}

}  // namespace

std::unique_ptr<RunLock> TryTakeRunLock(const std::string& loader_dir) {
  const std::string registry = CurrentUserRegistryPath();
  const std::string folder = registry.substr(0, registry.rfind('/'));
  MakePrivateFolders(folder);
  // The file stays: removing a lock file races with a process that has just opened it.
  const std::string path = folder + "/" + RunLockFileName(loader_dir);
  UniqueFd fd(::open(path.c_str(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
  if (!fd) Refuse(path, errno);
  // Checked on the open file: a pipe or a device put at the name is no lock file.
  struct stat opened {};
  if (::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
    throw RunLockError(RunLockError::Reason::NotAFile, path, "not a regular file");
  }
  while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EWOULDBLOCK) return nullptr;
    Refuse(path, error);
  }
  return std::make_unique<FileRunLock>(std::move(fd));
}

}  // namespace nurv::platform
