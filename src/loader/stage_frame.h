#pragma once
#include <functional>

#include "loader/loader_ui.h"
#include "loader/update_result.h"
#include "rules/module_catalogue.h"

namespace nurv {

// The frame of one update stage, the same for the dispatcher's and the main sequence's stages,
// and the one place where a stage's errors are caught: an empty line and the heading, the status
// text, the operation, the stage line with its suffix (StageLineSuffix), the fold into
// `update_result`, the stage line, one progress step. An error escaping the operation ends the
// stage only: its message is appended in square brackets on a second line, and the stage counts
// as failed (9). Returns the stage's result.
StageResult RunStage(LoaderUi& ui, const ModuleEntry& stage, StageResult& update_result,
                     const std::function<StageResult()>& operation);

}  // namespace nurv
