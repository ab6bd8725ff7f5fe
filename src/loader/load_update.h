#pragma once
#include "loader/update_context.h"
#include "loader/update_result.h"

namespace nurv {

// The dispatcher of the single modules: one progress step, "ЗАГРУЗКА ОБНОВЛЕНИЯ...", then the
// stages 7z, LDR, PRG, SSL, BAT, CHM and PDF in that order, each in the stage frame (which folds
// its result into `update_result`), and the progress bar at its full position.
void LoadUpdate(UpdateContext& ctx, StageResult& update_result);

}  // namespace nurv
