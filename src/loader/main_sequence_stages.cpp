// The main sequence: update decision, the dispatcher and the six stages of the main sequence.
#include <array>

#include "loader/load_update.h"
#include "loader/loader_app.h"
#include "loader/module_catalogue.h"
#include "loader/stage_frame.h"
#include "loader/update_context.h"
#include "base/version_key.h"
#include "platform/files.h"

namespace nurv {

void LoaderApp::RunUpdateStages() {
  if (state_.AvailableVersion == "00.00.00.00") return;

  // An available version that could not be read is empty; its empty key is never newer, so the
  // run goes on with the loader's own comparison and the group stages.
  const bool program_newer =
      IsNewer(VersionKey(state_.InstalledNumbers), VersionKey(state_.AvailableVersion));
  const bool loader_newer =
      IsNewer(VersionKey(state_.InstalledLoaderNumbers), VersionKey(state_.AvailableLoaderVersion));
  UpdateContext ctx{ui_, connection_, *catalogue_, state_.LoaderSettings};
  if (program_newer || loader_newer) LoadUpdate(ctx, state_.UpdateResult);
  RunGroupStages();
}

void LoaderApp::RunGroupStages() {
  UpdateContext ctx{ui_, connection_, *catalogue_, state_.LoaderSettings};
  const auto run = [&](const char* code) {
    const ModuleEntry& stage = ModuleByCode(code);
    RunStage(ui_, stage, state_.StageResult, state_.UpdateResult,
             [&](std::int16_t& stage_result) { stage.operation(ctx, stage_result); });
  };

  if (state_.IsWindowsXP) {
    ui_.AddLogLine(" -> Выгрузка библиотек браузера - НЕДОСТУПНО для Windows XP");
    for (int i = 0; i < 3; ++i) ui_.PBStep();
  } else {
    const std::string& program = state_.LoaderSettings.PathProgram;
    for (const char* sub : {"CEF", "locales", "swiftshader"}) {
      // One level; a failure shows later as the stage's own error.
      if (!program.empty() && !platform::DirectoryExists(program + sub)) {
        platform::CreateFolder(program + sub);
      }
    }
    for (const char* code : {"CXP", "LXP", "SWI"}) run(code);
  }
  for (const char* code : {"EXP", "DOC", "XLS"}) run(code);
}

}  // namespace nurv
