#include "platform/version_info.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "base/pe_version.h"
#include "nurv_version.h"
#include "platform/posix/unique_fd.h"

namespace nurv::platform {

namespace {

// The file mapped read-only for the parse; the version block is found by offsets, so only the
// pages it touches are read.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return;
    struct stat info {};
    if (::fstat(fd.Get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
      void* address = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ,
                             MAP_PRIVATE, fd.Get(), 0);
      if (address != MAP_FAILED) {
        address_ = address;
        size_ = static_cast<std::size_t>(info.st_size);
      }
    }
  }
  ~MappedFile() {
    if (address_ != nullptr) ::munmap(address_, size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::string_view bytes() const {
    return address_ != nullptr ? std::string_view(static_cast<const char*>(address_), size_)
                               : std::string_view();
  }

 private:
  void* address_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace

bool QueryFileProductVersion(const std::string& path, FourPartVersion& version) {
  const MappedFile file(path);
  const auto versions = ReadImageVersions(file.bytes());
  if (!versions) return false;
  version = versions->product;
  return true;
}

bool QueryOwnProductVersion(FourPartVersion& version) {
  version = {NURV_VERSION_MAJOR, NURV_VERSION_MINOR, NURV_VERSION_PATCH, NURV_VERSION_TWEAK};
  return true;
}

}  // namespace nurv::platform
