#pragma once
#include <unistd.h>

#include <utility>

namespace nurv::platform {

// Sole owner of one file descriptor, closed when the owner goes; moved, never copied. An empty
// owner holds -1, what open() returns on failure.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { static_cast<void>(Close()); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      static_cast<void>(Close());
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int Release() { return std::exchange(fd_, -1); }
  // Closes it now; false (errno set) when the system reports that the bytes written may not
  // have reached the file. An empty owner closes nothing and succeeds.
  [[nodiscard]] bool Close() {
    if (fd_ < 0) return true;
    return ::close(std::exchange(fd_, -1)) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace nurv::platform
