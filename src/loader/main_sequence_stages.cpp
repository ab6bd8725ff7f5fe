// The main sequence: update decision, the dispatcher and the six stages of the main sequence.
#include "base/version_key.h"
#include "loader/load_update.h"
#include "loader/loader_app.h"
#include "loader/module_stage.h"
#include "loader/update_context.h"
#include "platform/files.h"
#include "platform/system_info.h"
#include "rules/module_catalogue.h"

namespace nurv {

namespace {

// Before the first browser stage: on Windows XP the one line that stands for all of them;
// elsewhere the browser's folders, one level each.
void PrepareBrowserStages(LoaderUi& ui, const RunState& state) {
  if (state.IsWindowsXP) {
    ui.AddLogLine(" -> Выгрузка библиотек браузера - НЕДОСТУПНО для Windows XP");
    return;
  }
  const std::string& program = state.LoaderSettings.PathProgram;
  for (const char* sub : {"CEF", "locales", "swiftshader"}) {
    // A failure shows later as the stage's own error.
    if (!program.empty() && !platform::DirectoryExists(program + sub)) {
      platform::CreateFolder(program + sub);
    }
  }
}

}  // namespace

void LoaderApp::RunUpdateStages() {
  if (state_.AvailableVersion == "00.00.00.00") return;

  // An available version that could not be read is empty; its empty key is never newer, so the
  // run goes on with the loader's own comparison and the group stages.
  const bool program_newer =
      IsNewer(VersionKey(state_.InstalledNumbers), VersionKey(state_.AvailableVersion));
  const bool loader_newer =
      IsNewer(VersionKey(state_.InstalledLoaderNumbers), VersionKey(state_.AvailableLoaderVersion));
  UpdateContext ctx{ui_,
                    connection_,
                    *catalogue_,
                    state_.LoaderSettings,
                    platform::SystemFolder(),
                    TrustedKeys(state_.TrustedKeyLines)};
  if (program_newer || loader_newer) LoadUpdate(ctx, state_.UpdateResult);
  RunGroupStages(ctx);
  tally_ = ctx.tally;
}

void LoaderApp::RunGroupStages(UpdateContext& ctx) {
  bool browser_reached = false;
  for (const ModuleEntry& stage : ModuleCatalogue()) {
    if (stage.owner != StageOwner::MainSequence) continue;
    if (stage.withheld_from_xp) {
      if (!browser_reached) PrepareBrowserStages(ui_, state_);
      browser_reached = true;
      if (state_.IsWindowsXP) {
        ui_.StepProgress();  // the stage's step, without the stage
        continue;
      }
    }
    RunModuleStage(ctx, stage, state_.UpdateResult);
  }
}

}  // namespace nurv
