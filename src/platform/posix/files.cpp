#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

#include "platform/posix/local_time.h"
#include "platform/posix/unique_fd.h"

namespace nurv::platform {

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

bool IsReadOnly(const struct stat& info) { return (info.st_mode & kWriteBits) == 0; }

std::string BaseName(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const auto slash = trimmed.rfind('/');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// A file that other names share (a hard link): making its name writable would change the mode
// the other names see, perhaps outside the complex, so it is left alone and the name is replaced
// or removed as it is; that never touches the file the other names keep.
bool SharedWithOtherNames(const struct stat& info) {
  return S_ISREG(info.st_mode) && info.st_nlink > 1;
}

// Windows refuses to delete or overwrite a read-only file; the same holds here, also for root,
// whom POSIX permissions would not stop. A link is no read-only file, whatever it points to: it
// is replaced or removed itself.
bool RefuseReadOnlyTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && IsReadOnly(info) &&
      !SharedWithOtherNames(info)) {
    errno = EACCES;
    return true;
  }
  return false;
}

// Copies within the kernel where the file systems allow it, sparing the bytes a round trip through
// our memory; else, or for a file that copies as empty there (those of /proc), reads and writes.
bool CopyContents(int from, int to) {
#ifdef __linux__
  bool copied_any = false;
  while (true) {
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
    if (n > 0) {
      copied_any = true;
      continue;
    }
    if (n == 0 && copied_any) return true;
    if (n == 0) break;
    if (errno == EINTR) continue;
    const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                             errno == EINVAL || errno == EBADF;
    if (copied_any || !unsupported) return false;
    break;
  }
#endif
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t written = ::write(to, buffer + done, static_cast<std::size_t>(n - done));
      if (written < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += written;
    }
  }
}

FileId IdOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<DateTime> LocalModifiedTime(const struct stat& info) {
  return LocalDateTime(info.st_mtim.tv_sec,
                       std::chrono::milliseconds{info.st_mtim.tv_nsec / 1000000});
}

}  // namespace

std::optional<std::uint32_t> ReadAttributes(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  std::uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) {
    attributes |= kAttrDirectory;
  } else if (S_ISREG(info.st_mode)) {
    attributes |= kAttrArchive;
  }
  if (IsReadOnly(info)) attributes |= kAttrReadOnly;
  const std::string name = BaseName(path);
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttrHidden;
  return attributes == 0 ? kAttrNormal : attributes;
}

bool WriteAttributes(const std::string& path, std::uint32_t attributes) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return false;
  // A link has no mode of its own; changing its target's would reach outside the link's folder.
  if (S_ISLNK(info.st_mode)) return true;
  const bool read_only = (attributes & kAttrReadOnly) != 0;
  if (read_only == IsReadOnly(info) || (!read_only && SharedWithOtherNames(info))) return true;
  mode_t mode = info.st_mode & 07777;
  // Clearing read-only gives the owner the right to write, as Windows gives it to everyone
  // who may write the folder.
  mode = read_only ? (mode & ~kWriteBits) : (mode | S_IWUSR);
  return ::chmod(path.c_str(), mode) == 0;
}

bool WriteUnixMode(const std::string& path, std::uint32_t mode) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  const mode_t current = info.st_mode & 0777;
  const auto stored = static_cast<mode_t>(mode & 0777);
  // Execute only where the file may be read; no set-id or sticky bits from an archive.
  const mode_t wanted = (current & stored & 0666) | (stored & 0111 & ((current & 0444) >> 2));
  if (wanted == current) return true;
  return ::chmod(path.c_str(), wanted) == 0;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool RemoveFile(const std::string& path) {
  if (RefuseReadOnlyTarget(path)) return false;
  return ::unlink(path.c_str()) == 0;
}

bool CreateFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  if (RefuseReadOnlyTarget(to)) return false;
  const UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!source) return false;
  struct stat info {};
  if (::fstat(source.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    if (errno == 0 || S_ISDIR(info.st_mode)) errno = EISDIR;
    return false;
  }
  UniqueFd target(
      ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, info.st_mode & 07777));
  if (!target) return false;
  // Like CopyFile: contents, the source's permissions and its modification time.
  const timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
  bool ok = CopyContents(source.Get(), target.Get()) &&
            ::fchmod(target.Get(), info.st_mode & 07777) == 0 &&
            ::futimens(target.Get(), times) == 0;
  const int error = errno;
  if (!target.Close()) ok = false;
  if (!ok) errno = error;
  return ok;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  if (RefuseReadOnlyTarget(to)) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<FileId> ReadFileId(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return IdOf(info);
}

std::optional<DateTime> ReadModifiedTime(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return LocalModifiedTime(info);
}

FileFacts ReadFileFacts(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {!S_ISDIR(info.st_mode), IdOf(info), LocalModifiedTime(info)};
}

bool WriteModifiedTime(const std::string& path, DateTime local_time) {
  timespec modified{};
  if (!TimespecOfLocal(local_time, modified)) return false;
  const timespec times[2] = {{0, UTIME_OMIT}, modified};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::string LastErrorText() { return std::system_category().message(errno); }

}  // namespace nurv::platform
