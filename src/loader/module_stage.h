#pragma once
#include <cstdint>

#include "loader/module_catalogue.h"
#include "loader/update_context.h"

namespace nurv {

// The operation of the module's form: plain file, archived module or file group.
void UpdateModule(UpdateContext& ctx, const ModuleEntry& entry, std::int16_t& StageResult);

// The modules of the stage that begins with `first` (StageModules), in catalogue order, with one
// code for the stage (CombinedStageResult). An error escaping a module ends the stage.
void UpdateStageModules(UpdateContext& ctx, const ModuleEntry& first, std::int16_t& StageResult);

// The stage that begins with `first`, in the stage frame (RunStage), folded into `UpdateResult`.
void RunModuleStage(UpdateContext& ctx, const ModuleEntry& first, std::int16_t& StageResult,
                    std::int16_t& UpdateResult);

}  // namespace nurv
