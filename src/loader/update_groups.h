#pragma once
#include <stdexcept>
#include <string>

#include "loader/module_catalogue.h"
#include "loader/update_context.h"
#include "loader/update_result.h"

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

// The operation of a file group (date rule per row): every newer row's bytes are saved beside
// their file (the group's folder + the row's `name` + the group's name suffix), checked against
// `caption` and renamed over the old file, stamped with the row's time; a failing row is logged,
// gives 9 and leaves its old file as it was, and the walk goes on. A read-only template is
// replaced; a read-only file of the browser groups is not. An unknown folder fails the stage
// before any file step (OwnedFolders).
StageResult UpdateFileGroup(UpdateContext& ctx, const ModuleEntry& entry);

}  // namespace nurv
