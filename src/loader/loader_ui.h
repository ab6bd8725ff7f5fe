#pragma once
#include <functional>
#include <string>
#include <vector>

#include "loader/ui_services.h"

namespace nurv {

class ChooserModel;

// What the placement rules need of the screen.
struct ScreenGeometry {
  int first_monitor_width = 0;  // width of the first monitor of the system's list
  int desktop_height = 0;       // height of the whole desktop
  int screen_width = 0;         // primary screen, for the first, centred appearance
  int screen_height = 0;
};

// The loader's main window as the main sequence sees it. This class holds the window's logic and
// state (status line, log, progress bar, log toggle and height, placement, close button, closing
// animation with the keep-open flag, the one run on the first activation); a front end derives
// from it, draws the state in the hooks below and supplies message processing, the wait cursor,
// the message box and the chooser dialog.
class LoaderUi : public UiServices {
 public:
  static constexpr int kWidth = 501;
  static constexpr int kCollapsedHeight = 100;
  static constexpr int kExpandedHeight = 500;
  static constexpr int kProgressMax = 14;
  static constexpr int kCloseFrame = 19;

  // Status line: replaced, then pending messages processed.
  void ShowStatus(const std::string& text) override;
  // One log entry; a text holding CR LF (or LF) becomes several lines.
  void AddLogLine(const std::string& text) override;
  void ClearLog();
  // Where the lines of every log entry also go as they are added (the user's log file); none
  // when empty.
  void SetLogCopy(std::function<void(const std::vector<std::string>&)> copy);

  // One step of the progress bar (stays at 14), then pending messages processed.
  void StepProgress();
  void SetProgress(int position);
  void HideProgressBar();

  // Toggles the log between 100 and 500 high and moves the window by the placement rule.
  void ToggleLog();
  // The close button: keep-open flag cleared, bar hidden, log collapsed, animation started.
  void PressClose();
  void StartClosingAnimation();
  // Closes the window at frame 19 unless the keep-open flag is set; while the activate handler
  // runs, when it returns.
  void OnBannerFrame(int frame);

  // Initialise's part of the window: bar 0 of 14, empty log, left and top for a 100-high window.
  void Initialise(const ScreenGeometry& screen, bool keep_open);
  // First appearance: centred on the primary screen.
  void FirstShow(const ScreenGeometry& screen);

  // The window's activation (or its first showing, where the window system activates nothing).
  // The first one runs the activate handler, the loader's whole run, once; every later one (the
  // window regaining focus, the chooser closing, also while the handler runs) does nothing.
  void SetActivateHandler(std::function<void()> handler);
  void Activate();
  // True while the activate handler runs.
  bool Working() const { return working_; }
  // While the activate handler runs, a close of the window is put off until it returns (the main
  // sequence may be writing files); true when it was put off.
  bool DeferCloseWhileWorking();

  // The version label: new caption, and its reveal effect switched to the opposite state.
  void SetVersionLabel(const std::string& text);

  // The modal chooser dialog; true for OK, false when closed by its close box.
  virtual bool ShowChooserDialog(ChooserModel& model) = 0;

  const std::string& Status() const { return status_; }
  const std::string& VersionLabel() const { return version_label_; }
  bool VersionRevealOn() const { return version_reveal_on_; }
  const std::vector<std::string>& Log() const { return log_; }
  int ProgressPosition() const { return progress_; }
  bool ProgressVisible() const { return progress_visible_; }
  int Height() const { return height_; }
  int Left() const { return left_; }
  int Top() const { return top_; }
  // 0: arrow down (log hidden), 1: arrow up (log shown).
  int LogButtonPicture() const { return hist_picture_; }
  bool KeepOpen() const { return keep_open_; }
  void SetKeepOpen(bool keep_open) { keep_open_ = keep_open; }
  bool AnimationStarted() const { return animation_started_; }
  bool CloseRequested() const { return close_requested_; }

  // round(desktop_height / 2 - round(height / 2)) - 125, halves to the even neighbour.
  static int PlacementTop(int desktop_height, int height);

 protected:
  // Drawing hooks of the front end; the state above is already updated when they run.
  virtual void OnStatusChanged() {}
  virtual void OnVersionLabelChanged() {}
  virtual void OnLogChanged() {}
  virtual void OnProgressChanged() {}
  virtual void OnGeometryChanged() {}
  virtual void OnAnimationStarted() {}
  // The window closes now; the loader ends once control is back in the message loop.
  virtual void OnCloseRequested() {}

  // Runs RunActivateHandler once the window has been drawn: a front end with a message queue
  // posts it behind the drawing. Without one (the console) it runs at once.
  virtual void QueueActivateHandler() { RunActivateHandler(); }
  void RunActivateHandler();

 private:
  void SetHeight(int height);

  std::string status_;
  std::string version_label_ = "00.00.00.00";
  bool version_reveal_on_ = false;
  std::vector<std::string> log_;
  std::function<void(const std::vector<std::string>&)> log_copy_;
  int progress_ = 0;
  bool progress_visible_ = true;
  int height_ = kCollapsedHeight;
  int left_ = 0;
  int top_ = 0;
  int desktop_height_ = 0;
  int hist_picture_ = 0;
  bool keep_open_ = false;
  bool animation_started_ = false;
  bool close_requested_ = false;
  std::function<void()> activate_handler_;
  bool activated_ = false;
  bool working_ = false;
  bool close_pending_ = false;
};

}  // namespace nurv
