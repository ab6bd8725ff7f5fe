#include "platform/new_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/local_time.h"

namespace nurv::platform {

namespace {
int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }
}  // namespace

NewFile::~NewFile() {
  if (IsOpen()) ::close(Descriptor(handle_));
}

bool NewFile::Create(const std::string& path) {
  // O_EXCL fails on anything at the name, a dangling link too, so nothing leads the write away.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

bool NewFile::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(Descriptor(handle_), bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool NewFile::SetModifiedTime(DateTime local_time) {
  timespec modified{};
  if (!TimespecOfLocal(local_time, modified)) return false;
  const timespec times[2] = {{0, UTIME_OMIT}, modified};
  return ::futimens(Descriptor(handle_), times) == 0;
}

bool NewFile::CopyModeOf(const std::string& source) {
  struct stat info {};
  return ::stat(source.c_str(), &info) == 0 &&
         ::fchmod(Descriptor(handle_), info.st_mode & 0777) == 0;
}

bool NewFile::Close() {
  const int fd = Descriptor(handle_);
  handle_ = kNoHandle;
  return ::close(fd) == 0;
}

}  // namespace nurv::platform
