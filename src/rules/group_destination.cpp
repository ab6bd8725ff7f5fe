#include "rules/group_destination.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/text_utils.h"
#include "platform/paths.h"
#include "rules/loader_files.h"

namespace nurv {

std::string GroupFileDestination(const std::string& folder_prefix, const std::string& name,
                                 const std::string& suffix) {
  const std::string full_name = name + suffix;
  const auto refuse = [&] {
    throw UnsafeNameError("Недопустимое имя файла: " + EscapeControlBytes(full_name));
  };
  // A NUL would cut the name short at the system; CR LF would forge log lines.
  if (std::any_of(full_name.begin(), full_name.end(), IsControlByte)) refuse();
  if (full_name.size() >= 2 && full_name[1] == ':') refuse();
  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = 0; i <= full_name.size(); ++i) {
    const bool separator = i == full_name.size() || full_name[i] == '\\' || full_name[i] == '/';
    if (!separator) {
      part += full_name[i];
      continue;
    }
    if (i == 0 && !full_name.empty()) refuse();  // absolute
    if (i == full_name.size() && (part.empty() || part == "." || part == "..")) {
      refuse();  // names a folder, not a file in it
    }
    if (std::string_view(part).starts_with(kStagingPrefix)) refuse();  // the loader's own names
    if (part == "..") {
      if (parts.empty()) refuse();
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  std::string destination = folder_prefix;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) destination += platform::kPathDelim;
    destination += parts[i];
  }
  return destination;
}

}  // namespace nurv
