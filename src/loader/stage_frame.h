#pragma once
#include <cstdint>
#include <functional>

#include "loader/loader_ui.h"
#include "loader/module_catalogue.h"

namespace nurv {

// The frame of one update stage, the same for the dispatcher's and the main sequence's stages:
// an empty line and the heading, the status text, the operation, the stage line with its
// suffix by `StageResult` (" - OK", " - ОШИБКА", " - НЕ ТРЕБУЕТСЯ"), the fold into
// `UpdateResult`, the stage line, one progress step. An error escaping the operation ends the
// stage only: its message is appended in square brackets on a second line, and the stage counts
// as failed (9), whatever the operation had stored.
void RunStage(LoaderUi& ui, const ModuleEntry& stage, std::int16_t& StageResult,
              std::int16_t& UpdateResult, const std::function<void(std::int16_t&)>& operation);

}  // namespace nurv
