#include "loader/load_update.h"

#include "loader/module_catalogue.h"
#include "loader/stage_frame.h"

namespace nurv {

void LoadUpdate(UpdateContext& ctx, std::int16_t& UpdateResult) {
  ctx.ui.PBStep();
  ctx.ui.AddLogLine("");
  ctx.ui.AddLogLine("ЗАГРУЗКА ОБНОВЛЕНИЯ...");
  std::int16_t StageResult = 0;
  for (const ModuleEntry& stage : ModuleCatalogue()) {
    if (stage.owner != StageOwner::Dispatcher) continue;
    RunStage(ctx.ui, stage, StageResult, UpdateResult,
             [&](std::int16_t& result) { stage.operation(ctx, result); });
  }
  ctx.ui.PBSetPosition(LoaderUi::kProgressMax);
}

}  // namespace nurv
