#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ini_file.h"
#include "platform/posix/ini_parser.h"
#include "platform/posix/unique_fd.h"

namespace nurv::platform {

std::optional<std::string> ReadProfileValue(const std::string& path, const std::string& section,
                                            const std::string& key) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  std::string bytes;
  char buffer[16384];
  ssize_t got = 0;
  while ((got = ::read(fd.Get(), buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  // A file that cannot be read to its end (a folder, an I/O error) counts as one without the
  // section.
  if (got < 0) return std::nullopt;
  return FindProfileValue(bytes, section, key);
}

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& fallback) {
  return ReadProfileValue(path, section, key).value_or(fallback);
}

}  // namespace nurv::platform
