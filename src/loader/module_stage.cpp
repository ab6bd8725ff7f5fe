#include "loader/module_stage.h"

#include "loader/stage_frame.h"
#include "loader/update_archived.h"
#include "loader/update_groups.h"
#include "loader/update_plain.h"

namespace nurv {

StageResult UpdateModule(UpdateContext& ctx, const ModuleEntry& entry) {
  switch (entry.form) {
    case ModuleForm::Plain:
      return UpdatePlainModule(ctx, entry);
    case ModuleForm::Archive:
      return UpdateArchivedModule(ctx, entry);
    case ModuleForm::Group:
      return UpdateFileGroup(ctx, entry);
  }
  return StageResult::NotRequired;  // no other form
}

StageResult UpdateStageModules(UpdateContext& ctx, const ModuleEntry& first) {
  StageResult result = StageResult::NotRequired;
  for (const ModuleEntry& entry : StageModules(first))
    result = Combined(result, UpdateModule(ctx, entry));
  return result;
}

StageResult RunModuleStage(UpdateContext& ctx, const ModuleEntry& first,
                           StageResult& update_result) {
  const StageResult result =
      RunStage(ctx.ui, first, update_result, [&] { return UpdateStageModules(ctx, first); });
  if (result == StageResult::Error) ctx.tally.failed_stages.emplace_back(first.code);
  // A single file's patch line follows its stage's line, as a group file's follows its name.
  for (const std::string& line : ctx.patch_lines) ctx.ui.AddLogLine(line);
  ctx.patch_lines.clear();
  return result;
}

}  // namespace nurv
