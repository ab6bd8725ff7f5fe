#include "console_ui.h"

#include <string>
#include <thread>

#include "base/connection_text.h"
#include "base/text_utils.h"
#include "connection/chooser_model.h"

namespace nurv::console {

ConsoleUi::ConsoleUi(std::FILE* log_out, std::FILE* info_out, std::FILE* input, bool interactive)
    : log_out_(log_out), info_out_(info_out), input_(input), interactive_(interactive) {}

void ConsoleUi::Info(const std::string& text) {
  std::fputs(text.c_str(), info_out_);
  std::fputc('\n', info_out_);
  std::fflush(info_out_);
}

void ConsoleUi::ProcessMessages() {
  // Nothing queues up in a console; the output is already flushed line by line.
}

void ConsoleUi::WaitForMessages(std::chrono::milliseconds timeout) {
  if (timeout.count() > 0) std::this_thread::sleep_for(timeout);
}

void ConsoleUi::SetWaitCursor(bool) {}

void ConsoleUi::ShowMessageBox(const std::string& text) { Info("Сообщение: " + text); }

void ConsoleUi::OnStatusChanged() {
  // The connection list shows its status once per number read; one line is enough.
  if (Status().empty() || Status() == last_status_) {
    last_status_ = Status();
    return;
  }
  last_status_ = Status();
  Info(Status());
}

void ConsoleUi::OnVersionLabelChanged() { Info("Загрузчик НУРВ-Комплекс " + VersionLabel()); }

void ConsoleUi::OnLogChanged() {
  const auto& log = Log();
  if (log.size() < printed_) printed_ = 0;  // the log was emptied
  for (; printed_ < log.size(); ++printed_) {
    std::fputs(log[printed_].c_str(), log_out_);
    std::fputc('\n', log_out_);
  }
  std::fflush(log_out_);
}

void ConsoleUi::OnProgressChanged() {
  if (!ProgressVisible() || ProgressPosition() == last_progress_) return;
  last_progress_ = ProgressPosition();
  Info("[" + std::to_string(last_progress_) + "/" + std::to_string(kProgressMax) + "]");
}

bool ConsoleUi::ReadLine(std::string& line) {
  line.clear();
  int c = 0;
  while ((c = std::fgetc(input_)) != EOF && c != '\n') line += static_cast<char>(c);
  return c != EOF || !line.empty();
}

bool ConsoleUi::WaitForEnter(const std::string& prompt) {
  std::fputs(prompt.c_str(), info_out_);
  std::fflush(info_out_);
  std::string line;
  return ReadLine(line);
}

bool ConsoleUi::ShowChooserDialog(ChooserModel& model) {
  // Without a terminal nobody can answer: the dialog counts as closed by its close box.
  if (!interactive_) return false;
  Info("Выбор БД");
  for (int row = 1; row < model.RowCount(); ++row) {
    Info("  " + std::to_string(row) + ". " + EscapeControlBytes(model.Cell(0, row)) + "  [" +
         ShownConnectionText(model.Cell(1, row)) + ", " + EscapeControlBytes(model.Cell(2, row)) +
         "]");
  }
  while (true) {
    std::fputs("Номер подключения (пустая строка - отмена): ", info_out_);
    std::fflush(info_out_);
    std::string line;
    if (!ReadLine(line) || line.empty()) return false;
    int number = 0;
    bool digits = line.size() <= 4;
    for (const char c : line) {
      if (c < '0' || c > '9') {
        digits = false;
        break;
      }
      number = number * 10 + (c - '0');
    }
    if (digits && number >= 1 && number < model.RowCount()) {
      model.SetCurrent(0, number);
      return true;
    }
    Info("Нет подключения с таким номером");
  }
}

}  // namespace nurv::console
