#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "loader/update_context.h"

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

// The browser groups CXP, LXP and SWI (date rule per row). Every newer row's bytes are saved
// beside their file, checked against `caption` and renamed over the old file, stamped with the
// row's time; a failing row is logged, gives 9 and leaves its old file as it was, and the walk
// goes on. A read-only file of these groups is not replaced. An unknown folder fails the stage
// before any file step (OwnedFolders). Any other code: nothing, 0.
void UpdateFileGroup(UpdateContext& ctx, const std::string& code, std::int16_t& StageResult);
// Code DOC: each row's `name` + ".doc" in the templates folder; read-only templates are replaced.
void UpdateBlankTemplates(UpdateContext& ctx, std::int16_t& StageResult);
// Code XLS: each row's `name` in the templates folder; read-only templates are replaced.
void UpdateFormTemplates(UpdateContext& ctx, std::int16_t& StageResult);

}  // namespace nurv
