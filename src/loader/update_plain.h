#pragma once
#include <string>

#include "loader/update_context.h"
#include "loader/update_result.h"
#include "rules/module_catalogue.h"

namespace nurv {

// Brings `destination` up to date from the rows of `entry` that hold the file's bytes as they are
// (date rule per row). A newer row's bytes are saved beside the destination, checked against the
// row's `caption` and only then renamed over the old file, stamped with the row's time; every
// failure is logged and gives 9, leaving the old file and its time as they were; so does a
// destination outside the loader's folders, and an unknown folder fails the stage before any
// file step (OwnedFolders). Only an error of the catalogue filter passes to the caller.
StageResult UpdatePlainFile(UpdateContext& ctx, const ModuleEntry& entry,
                            const std::string& destination);

// The operation of a plain module: its file in its folder (ModulePath). The 7-Zip library (rule
// DateWhenMissing) only when it is in neither the system folder nor the temporary folder.
StageResult UpdatePlainModule(UpdateContext& ctx, const ModuleEntry& entry);

}  // namespace nurv
