#include "loader/load_update.h"

#include "loader/module_stage.h"
#include "rules/module_catalogue.h"

namespace nurv {

void LoadUpdate(UpdateContext& ctx, StageResult& update_result) {
  ctx.ui.StepProgress();
  ctx.ui.AddLogLine("");
  ctx.ui.AddLogLine("ЗАГРУЗКА ОБНОВЛЕНИЯ...");
  for (const ModuleEntry& stage : ModuleCatalogue())
    if (stage.owner == StageOwner::Dispatcher) RunModuleStage(ctx, stage, update_result);
  ctx.ui.SetProgress(LoaderUi::kProgressMax);
}

}  // namespace nurv
