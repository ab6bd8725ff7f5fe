#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "loader/ui_services.h"

namespace nurv::testing {

// UiServices that record what the code under test reports; pauses are recorded, not taken.
class RecordingServices : public UiServices {
 public:
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void AddLogLine(const std::string& text) override { log.push_back(text); }
  void ProcessMessages() override { ++processed; }
  void WaitForMessages(std::chrono::milliseconds) override {}
  bool WaitMs(std::int32_t ms) override {
    waits.push_back(ms);
    return true;
  }
  void SetWaitCursor(bool on) override { cursor_changes.push_back(on); }
  void ShowMessageBox(const std::string& text) override { message_boxes.push_back(text); }

  std::vector<std::string> statuses;
  // Each AddLogLine text as given (CR LF not split).
  std::vector<std::string> log;
  std::vector<std::int32_t> waits;
  std::vector<bool> cursor_changes;
  std::vector<std::string> message_boxes;
  int processed = 0;
};

}  // namespace nurv::testing
