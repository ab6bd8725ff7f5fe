#include "platform/system_info.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "base/pe_version.h"
#include "nurv_version.h"
#include "platform/posix/local_time.h"
#include "platform/posix/unique_fd.h"

namespace nurv::platform {

namespace {

// The value of one KEY=VALUE line of os-release: shell-style quotes and backslash escapes removed.
std::string UnquoteOsReleaseValue(const std::string& raw) {
  if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front()) {
    const char quote = raw.front();
    std::string value;
    for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
      if (quote == '"' && raw[i] == '\\' && i + 2 < raw.size()) ++i;
      value.push_back(raw[i]);
    }
    return value;
  }
  return raw;
}

[[noreturn]] void Refuse(const std::string& folder, const std::string& why) {
  throw std::runtime_error("refusing to use the temporary folder " + folder + ": " + why);
}

}  // namespace

std::string OwnExecutablePath() {
  std::error_code error;
  const auto path = std::filesystem::canonical("/proc/self/exe", error);
  if (error) throw std::runtime_error("cannot resolve the executable's path: " + error.message());
  return path.string();
}

std::string OsProductName() {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("PRETTY_NAME=", 0) == 0) {
        const std::string value = UnquoteOsReleaseValue(line.substr(12));
        if (!value.empty()) return value;
      }
    }
  }
  return "Linux";
}

std::string SystemFolder() { return "/usr/lib/p7zip"; }

std::string UserTempFolder() {
  std::string base;
  if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && *tmpdir != '\0') {
    base = tmpdir;
  } else {
    base = "/tmp";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const uid_t uid = ::getuid();
  const std::string folder = (base == "/" ? "" : base) + "/nurv-" + std::to_string(uid);
  // A relative base would name a different folder in every working folder.
  if (base.front() != '/') Refuse(folder, "TMPDIR is not an absolute path");

  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    Refuse(folder, std::system_category().message(errno));
  }
  // Checked on the opened folder itself, so it cannot be swapped between check and use.
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    const int error = errno;
    struct stat link {};
    if (::lstat(folder.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      Refuse(folder, "it is a symbolic link");
    }
    Refuse(folder, std::system_category().message(error));
  }
  struct stat info {};
  std::string problem;
  if (::fstat(fd.Get(), &info) != 0) {
    problem = std::system_category().message(errno);
  } else if (info.st_uid != uid) {
    problem = "it belongs to user " + std::to_string(info.st_uid);
  } else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd.Get(), 0700) != 0) {
    problem = "its mode cannot be set to 0700: " + std::system_category().message(errno);
  }
  if (!problem.empty()) Refuse(folder, problem);
  return folder;
}

std::string UserName() {
  if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_name) {
    return entry->pw_name;
  }
  const char* user = std::getenv("USER");
  return user ? user : "";
}

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

DateTime LocalNow() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  return LocalDateTime(now.tv_sec, std::chrono::milliseconds{now.tv_usec / 1000})
      .value_or(DateTime{});
}

std::vector<std::uint8_t> ReadOwnVersionResource() {
  const FourPartVersion own{NURV_VERSION_MAJOR, NURV_VERSION_MINOR, NURV_VERSION_PATCH,
                            NURV_VERSION_TWEAK};
  const std::string block = BuildVersionInfoBlock(FileVersions{own, own});
  return std::vector<std::uint8_t>(block.begin(), block.end());
}

}  // namespace nurv::platform
