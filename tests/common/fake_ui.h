#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "loader/loader_ui.h"

namespace nurv::testing {

// The window contract with real logic and recorded side effects: pauses are recorded, not taken;
// the chooser dialog answers through `chooser`.
class FakeUi : public LoaderUi {
 public:
  void ProcessMessages() override { ++processed; }
  void WaitForMessages(std::chrono::milliseconds) override {}
  bool WaitMs(std::int32_t ms) override {
    if (on_wait) on_wait(ms);
    waits.push_back(ms);
    if (ms > 0) ++processed;
    return true;
  }
  void SetWaitCursor(bool on) override { cursor_changes.push_back(on); }
  void ShowMessageBox(const std::string& text) override { message_boxes.push_back(text); }
  bool ShowChooserDialog(ChooserModel& model) override {
    ++chooser_shown;
    return chooser ? chooser(model) : false;
  }

  // Every status text in order.
  std::vector<std::string> statuses;
  std::vector<std::int32_t> waits;
  std::vector<bool> cursor_changes;
  std::vector<std::string> message_boxes;
  std::function<bool(ChooserModel&)> chooser;
  // Hooks that let a test act while the loader pauses, and as each log line appears.
  std::function<void(std::int32_t)> on_wait;
  std::function<void(const std::string&)> on_log_line;
  int chooser_shown = 0;
  int processed = 0;
  int animations = 0;
  int close_requests = 0;

 protected:
  void OnStatusChanged() override { statuses.push_back(Status()); }
  void OnLogChanged() override {
    if (on_log_line && !Log().empty()) on_log_line(Log().back());
  }
  void OnAnimationStarted() override { ++animations; }
  void OnCloseRequested() override { ++close_requests; }
};

}  // namespace nurv::testing
