#pragma once
#include <cstdio>
#include <string>

#include "loader/loader_ui.h"

namespace nurv::console {

// The loader's window as a console: stdout carries exactly the log, one line per line; status
// texts, message boxes and progress go to stderr. Pauses are real sleeps; the chooser is a
// numbered menu on a terminal and is cancelled otherwise.
class ConsoleUi : public LoaderUi {
 public:
  ConsoleUi(std::FILE* log_out, std::FILE* info_out, std::FILE* input, bool interactive);

  void ProcessMessages() override;
  void WaitForMessages(std::chrono::milliseconds timeout) override;
  void SetWaitCursor(bool on) override;
  void ShowMessageBox(const std::string& text) override;
  bool ShowChooserDialog(ChooserModel& model) override;

  bool Interactive() const { return interactive_; }
  // Waits for Enter on the input; false at its end.
  bool WaitForEnter(const std::string& prompt);

 protected:
  void OnStatusChanged() override;
  void OnVersionLabelChanged() override;
  void OnLogChanged() override;
  void OnProgressChanged() override;

 private:
  void Info(const std::string& text);
  bool ReadLine(std::string& line);

  std::FILE* log_out_;
  std::FILE* info_out_;
  std::FILE* input_;
  bool interactive_;
  std::size_t printed_ = 0;
  std::string last_status_;
  int last_progress_ = 0;
};

}  // namespace nurv::console
