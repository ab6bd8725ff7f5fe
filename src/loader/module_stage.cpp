#include "loader/module_stage.h"

#include "loader/stage_frame.h"
#include "loader/update_archived.h"
#include "loader/update_groups.h"
#include "loader/update_plain.h"
#include "loader/update_result.h"

namespace nurv {

void UpdateModule(UpdateContext& ctx, const ModuleEntry& entry, std::int16_t& StageResult) {
  switch (entry.form) {
    case ModuleForm::Plain:
      UpdatePlainModule(ctx, entry, StageResult);
      return;
    case ModuleForm::Archive:
      UpdateArchivedModule(ctx, entry, StageResult);
      return;
    case ModuleForm::Group:
      UpdateFileGroup(ctx, entry, StageResult);
      return;
  }
}

void UpdateStageModules(UpdateContext& ctx, const ModuleEntry& first, std::int16_t& StageResult) {
  StageResult = kStageNotRequired;
  for (const ModuleEntry& entry : StageModules(first)) {
    std::int16_t module_result = kStageNotRequired;
    UpdateModule(ctx, entry, module_result);
    StageResult = CombinedStageResult(StageResult, module_result);
  }
}

void RunModuleStage(UpdateContext& ctx, const ModuleEntry& first, std::int16_t& StageResult,
                    std::int16_t& UpdateResult) {
  RunStage(ctx.ui, first, StageResult, UpdateResult,
           [&](std::int16_t& result) { UpdateStageModules(ctx, first, result); });
}

}  // namespace nurv
