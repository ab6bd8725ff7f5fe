// The main sequence, end: the closing banner, the start of the main program, the end of the run.
#include <string>

#include "loader/loader_app.h"

namespace nurv {

namespace {

constexpr char kStars[] = "****************************************************************";

// An empty line, then `text` framed by lines of asterisks.
void WriteBanner(LoaderUi& ui, const char* text) {
  ui.AddLogLine("");
  ui.AddLogLine(kStars);
  ui.AddLogLine(text);
  ui.AddLogLine(kStars);
}

}  // namespace

void LoaderApp::WriteSummary() {
  ui_.ShowStatus("");
  if (state_.InitFailed) {
    WriteBanner(ui_, "              Работа загрузчика завершена ОШИБКОЙ ИНИЦИАЛИЗАЦИИ!");
    ui_.ShowStatus("Обнаружены ошибки инициализации:");
    outcome_ = RunOutcome::InitError;
    return;
  }
  if (state_.UpdateResult == StageResult::Error) {
    WriteBanner(ui_, "              Работа загрузчика завершена с ОШИБКАМИ ОБНОВЛЕНИЯ!");
    ui_.ShowStatus("Обнаружены ошибки при обновлении:");
    outcome_ = RunOutcome::UpdateError;
    return;
  }
  if (!StartMainProgram()) {
    WriteBanner(ui_, "              Работа загрузчика завершена ОШИБКОЙ ЗАПУСКА НУРВ-Комплекс!");
    ui_.ShowStatus("Не удалось запустить НУРВ-Комплекс:");
    outcome_ = RunOutcome::StartError;
    return;
  }
  WriteBanner(ui_, "              Работа загрузчика завершена УСПЕШНО...");
  ui_.ShowStatus("");
  outcome_ = RunOutcome::Success;
}

bool LoaderApp::StartMainProgram() {
  ui_.AddLogLine("");
  ui_.AddLogLine("Запуск НУРВ-Комплекс...");
  // Joined as it stands: nothing is quoted.
  const std::string command_line =
      state_.LoaderDir + "nurv.exe" + state_.ForwardedArgs + state_.LaunchArgs;
  const int result = Start(command_line);
  if (result > 31) {
    ui_.AddLogLine("OK");
    return true;
  }
  ui_.AddLogLine("ОШИБКА - код: " + std::to_string(result));
  return false;
}

void LoaderApp::EndOfRun() {
  // A main program that could not be started is an error the user must see, like the others.
  const bool had_error = outcome_ != RunOutcome::Success;
  if (had_error && ui_.Height() < LoaderUi::kExpandedHeight) {
    // The log stays in view until the user closes the window.
    ui_.ToggleLog();
    return;
  }
  ui_.HideProgressBar();
  // The keep-open flag is `SwitchWait`; the close button may have cleared it meanwhile.
  const bool keep_open = ui_.KeepOpen();
  if (!keep_open && ui_.Height() == LoaderUi::kExpandedHeight) ui_.ToggleLog();
  ui_.ProcessMessages();
  if (!keep_open) ui_.StartClosingAnimation();
  ui_.ProcessMessages();
}

}  // namespace nurv
