#include "platform/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/files.h"
#include "platform/posix/unique_fd.h"

namespace nurv::platform {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string OctalMode(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

bool WriteNewOwnerOnlyFile(const std::string& path, std::string_view bytes) {
  // Mode 0600 at creation (the umask can only take bits away): there is no moment at which
  // another user could open the file and keep the descriptor.
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     S_IRUSR | S_IWUSR));
  if (!fd) return false;
  const bool written = WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
  const int write_error = errno;
  const bool closed = fd.Close();
  if (written && closed) return true;
  const int error = written ? errno : write_error;
  ::unlink(path.c_str());
  errno = error;
  return false;
}

OwnerOnlyRead ReadOwnerOnlyFile(const std::string& path, std::span<char> buffer) {
  OwnerOnlyRead result;
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    result.detail = LastErrorText();
    return result;
  }
  struct stat facts {};
  if (::fstat(fd.Get(), &facts) != 0) {
    result.detail = LastErrorText();
  } else if ((facts.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    result.outcome = OwnerOnlyRead::Outcome::OpenToOthers;
    result.detail = OctalMode(facts.st_mode);
  } else {
    result.outcome = OwnerOnlyRead::Outcome::Read;
    while (result.size < buffer.size()) {
      const ssize_t got =
          ::read(fd.Get(), buffer.data() + result.size, buffer.size() - result.size);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        result.outcome = OwnerOnlyRead::Outcome::Unreadable;
        result.detail = LastErrorText();
        break;
      }
      if (got == 0) break;
      result.size += static_cast<std::size_t>(got);
    }
  }
  return result;
}

}  // namespace nurv::platform
