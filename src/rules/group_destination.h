#pragma once
#include <stdexcept>
#include <string>

namespace nurv {

// A row's `name` that would place its file outside its group's folder.
class UnsafeNameError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file of a group row: `folder_prefix` (ending in the separator) + `name` + `suffix`, with
// "\" and "/" both taken as separators. Sub-folders inside the group's folder are allowed;
// UnsafeNameError for a name that is empty, absolute, names a drive, whose ".." parts leave the
// folder, with a part in the staging files' reserved names (kStagingPrefix), or holding a control
// byte (its message shows the name with EscapeControlBytes).
std::string GroupFileDestination(const std::string& folder_prefix, const std::string& name,
                                 const std::string& suffix);

}  // namespace nurv
