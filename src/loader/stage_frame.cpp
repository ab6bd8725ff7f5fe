#include "loader/stage_frame.h"

#include <exception>
#include <optional>
#include <string>

#include "base/text_utils.h"

namespace nurv {

StageResult RunStage(LoaderUi& ui, const ModuleEntry& stage, StageResult& update_result,
                     const std::function<StageResult()>& operation) {
  StageResult result = StageResult::Error;
  std::optional<std::string> error;
  try {
    ui.AddLogLine("");
    ui.AddLogLine(std::string(stage.heading));
    ui.ShowStatus(std::string(stage.status));
    result = operation();
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Неизвестная ошибка";
  }
  // An error the operation did not turn into 9 itself still marks the run.
  if (error) result = StageResult::Error;
  std::string line(stage.stage_line);
  line += error ? " - ОШИБКА\r\n[" + EscapeControlBytesKeepingLineBreaks(*error) + "]"
                : std::string(StageLineSuffix(result));
  FoldUpdateResult(update_result, result);
  ui.AddLogLine(line);
  ui.StepProgress();
  return result;
}

}  // namespace nurv
