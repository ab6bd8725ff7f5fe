#include <fstream>
#include <iterator>

#include "platform/ini_file.h"
#include "platform/posix/ini_parser.h"

namespace nurv::platform {

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& fallback) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return fallback;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A file that cannot be read to its end counts as one without the section.
  if (in.bad()) return fallback;
  return FindProfileValue(bytes, section, key).value_or(fallback);
}

}  // namespace nurv::platform
