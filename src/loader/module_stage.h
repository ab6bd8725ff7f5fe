#pragma once
#include "loader/update_context.h"
#include "loader/update_result.h"
#include "rules/module_catalogue.h"

namespace nurv {

// The operation of the module's form: plain file, archived module or file group.
StageResult UpdateModule(UpdateContext& ctx, const ModuleEntry& entry);

// The modules of the stage that begins with `first` (StageModules), in catalogue order, with one
// code for the stage (Combined). An error escaping a module ends the stage.
StageResult UpdateStageModules(UpdateContext& ctx, const ModuleEntry& first);

// The stage that begins with `first`, in the stage frame (RunStage), folded into
// `update_result`. Returns the stage's result.
StageResult RunModuleStage(UpdateContext& ctx, const ModuleEntry& first,
                           StageResult& update_result);

}  // namespace nurv
