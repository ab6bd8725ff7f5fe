#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace nurv {

// The few window services that the main sequence's steps and the update routines need: the status
// line, the log, message processing, the SQL wait cursor and the modal message box. The main
// window's contract (loader/loader_ui.h) extends it; core tests use a recording fake.
class UiServices {
 public:
  virtual ~UiServices() = default;

  virtual void ShowStatus(const std::string& text) = 0;
  virtual void AddLogLine(const std::string& text) = 0;

  // Handles every pending window message (paint, input, timers) and returns.
  virtual void ProcessMessages() = 0;
  // Blocks until a window message arrives or `timeout` passes; never spins.
  virtual void WaitForMessages(std::chrono::milliseconds timeout) = 0;

  virtual void SetWaitCursor(bool on) = 0;
  // Modal: returns when the user has closed the box.
  virtual void ShowMessageBox(const std::string& text) = 0;

  // Waits `ms` milliseconds while processing messages; 0 or less returns at once without
  // processing. Always true. Fakes override it to record the pause instead of taking it.
  virtual bool WaitMs(std::int32_t ms);
};

// The SQL wait cursor for one scope: taken back however the scope is left.
class WaitCursor {
 public:
  explicit WaitCursor(UiServices& ui) : ui_(ui) { ui_.SetWaitCursor(true); }
  ~WaitCursor() { ui_.SetWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  UiServices& ui_;
};

}  // namespace nurv
