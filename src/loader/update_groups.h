#pragma once
#include <string>

#include "loader/update_context.h"
#include "loader/update_result.h"
#include "rules/group_destination.h"
#include "rules/module_catalogue.h"

namespace nurv {

// The operation of a file group (date rule per row): every newer row's bytes are saved beside
// their file (the group's folder + the row's `name` + the group's name suffix), checked against
// `caption` and renamed over the old file, stamped with the row's time; a failing row is logged,
// gives 9 and leaves its old file as it was, and the walk goes on. A read-only template is
// replaced; a read-only file of the browser groups is not. An unknown folder fails the stage
// before any file step (OwnedFolders).
StageResult UpdateFileGroup(UpdateContext& ctx, const ModuleEntry& entry);

}  // namespace nurv
