#include "loader/stage_frame.h"

#include <exception>
#include <string>

#include "loader/update_result.h"

namespace nurv {

void RunStage(LoaderUi& ui, const ModuleEntry& stage, std::int16_t& StageResult,
              std::int16_t& UpdateResult, const std::function<void(std::int16_t&)>& operation) {
  std::string line(stage.stage_line);
  std::string error;
  bool failed = false;
  try {
    ui.AddLogLine("");
    ui.AddLogLine(std::string(stage.heading));
    ui.ShowStatus(std::string(stage.status));
    operation(StageResult);
    switch (StageResult) {
      case kStageWritten:
        line += " - OK";
        break;
      case kStageError:
        line += " - ОШИБКА";
        break;
      case kStageNotRequired:
        line += " - НЕ ТРЕБУЕТСЯ";
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    failed = true;
    error = e.what();
  } catch (...) {
    failed = true;
    error = "Неизвестная ошибка";
  }
  if (failed) {
    // An error the operation did not turn into 9 itself must still mark the run.
    StageResult = kStageError;
    line = std::string(stage.stage_line) + " - ОШИБКА\r\n[" + error + "]";
  }
  FoldUpdateResult(UpdateResult, StageResult);
  ui.AddLogLine(line);
  ui.PBStep();
}

}  // namespace nurv
