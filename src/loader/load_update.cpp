#include "loader/load_update.h"

#include "loader/module_catalogue.h"
#include "loader/module_stage.h"

namespace nurv {

void LoadUpdate(UpdateContext& ctx, std::int16_t& UpdateResult) {
  ctx.ui.PBStep();
  ctx.ui.AddLogLine("");
  ctx.ui.AddLogLine("ЗАГРУЗКА ОБНОВЛЕНИЯ...");
  std::int16_t StageResult = 0;
  for (const ModuleEntry& stage : ModuleCatalogue())
    if (stage.owner == StageOwner::Dispatcher)
      RunModuleStage(ctx, stage, StageResult, UpdateResult);
  ctx.ui.PBSetPosition(LoaderUi::kProgressMax);
}

}  // namespace nurv
