#include "platform/recycle_bin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/posix/unique_fd.h"
#include "platform/posix/xdg_folders.h"

// The freedesktop.org Trash of the user's home: files/ holds the moved items, info/ one
// NAME.trashinfo per item with its original path and deletion time, so that file managers can
// restore it.
namespace nurv::platform {

namespace fs = std::filesystem;

namespace {

std::string HomeTrash() {
  const std::string data_home = XdgBaseFolder("XDG_DATA_HOME", ".local/share");
  return data_home.empty() ? std::string() : data_home + "/Trash";
}

bool EnsureFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) return false;
  ::chmod(path.c_str(), 0700);
  return fs::is_directory(path, error);
}

// Path= is an absolute path with the bytes outside the unreserved characters percent-encoded.
std::string PercentEncodePath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

// Local time as YYYY-MM-DDThh:mm:ss, formatted without the process locale.
std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

enum class CrossMove { Failed, Copied, Moved };

// Moves across file systems: copy everything, then remove the original.
CrossMove CopyThenRemove(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  if (error) {
    fs::remove_all(to, error);
    return CrossMove::Failed;
  }
  // Write-protected items must not keep the original in place.
  for (auto it = fs::recursive_directory_iterator(from, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_symlink())
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, error);
  }
  error.clear();
  fs::remove_all(from, error);
  // A copy whose original could not be removed stays in the Trash with its info file.
  return error ? CrossMove::Copied : CrossMove::Moved;
}

}  // namespace

bool MoveToRecycleBin(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  fs::path source = fs::absolute(path, error);
  if (error) return false;
  source = source.lexically_normal();
  if (source.has_filename() == false) source = source.parent_path();
  if (!fs::exists(fs::symlink_status(source, error))) return false;

  const std::string trash = HomeTrash();
  if (trash.empty()) return false;
  const std::string files = trash + "/files";
  const std::string info = trash + "/info";
  if (!EnsureFolder(trash) || !EnsureFolder(files) || !EnsureFolder(info)) return false;

  const std::string base = source.filename().string();
  const std::string contents = "[Trash Info]\nPath=" + PercentEncodePath(source.string()) +
                               "\nDeletionDate=" + DeletionDate() + "\n";
  // The .trashinfo file is created exclusively first: it reserves the name against other
  // programs moving an item of the same name at the same time.
  for (int attempt = 1; attempt < 10000; ++attempt) {
    const std::string name = attempt == 1 ? base : base + "." + std::to_string(attempt);
    const std::string info_path = info + "/" + name + ".trashinfo";
    const std::string target = files + "/" + name;
    UniqueFd fd(::open(info_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = WriteAll(fd.Get(), contents);
    const bool closed = fd.Close();
    if (!written || !closed) {
      ::unlink(info_path.c_str());
      return false;
    }
    if (fs::exists(fs::symlink_status(target, error))) {
      // A left-over item without its info file: keep it and take the next name.
      ::unlink(info_path.c_str());
      continue;
    }
    if (::rename(source.c_str(), target.c_str()) == 0) return true;
    const CrossMove result = errno == EXDEV ? CopyThenRemove(source, target) : CrossMove::Failed;
    if (result == CrossMove::Failed) ::unlink(info_path.c_str());
    return result == CrossMove::Moved;
  }
  return false;
}

}  // namespace nurv::platform
