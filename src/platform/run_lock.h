#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "base/crc32.h"

namespace nurv::platform {

// The current user's lock on one complex: while one process holds it, no other loader of that
// user runs on that complex. Released when the object is destroyed, or by the system when the
// process ends, however it ends.
class RunLock {
 public:
  virtual ~RunLock() = default;
};

// Why the run lock cannot be taken at all.
class RunLockError : public std::runtime_error {
 public:
  enum class Reason {
    NotAFile,  // a folder, a link, a pipe or a device at the lock file's name
    System,    // anything else the system refused
  };
  RunLockError(Reason reason, std::string path, const std::string& system_text)
      : std::runtime_error("cannot lock " + path + ": " + system_text),
        reason_(reason),
        path_(std::move(path)),
        system_text_(system_text) {}
  Reason reason() const { return reason_; }
  const std::string& path() const { return path_; }
  const std::string& system_text() const { return system_text_; }

 private:
  Reason reason_;
  std::string path_;
  std::string system_text_;
};

// Takes the run lock of the complex whose loader lives in `loader_dir`, without waiting: nullptr
// while another process holds it. The lock is a regular file in a per-user folder (POSIX: beside
// the registry file; Windows: %LOCALAPPDATA%\nurv), named by RunLockFileName; a link at that name
// is never followed. Raises RunLockError when the lock cannot be taken at all.
std::unique_ptr<RunLock> TryTakeRunLock(const std::string& loader_dir);

// "run-" and the CRC-32 of the folder's text in eight hex digits, ".lock". Two complexes whose
// names collide only wait for each other.
inline std::string RunLockFileName(std::string_view folder) {
  const std::uint32_t crc = ~Crc32UpdateBlock(
      0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(folder.data()), folder.size());
  char name[32];
  std::snprintf(name, sizeof name, "run-%08x.lock", static_cast<unsigned>(crc));
  return name;
}

}  // namespace nurv::platform
