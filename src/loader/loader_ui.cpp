#include "loader/loader_ui.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace nurv {

namespace {

// Rounding to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

}  // namespace

int LoaderUi::PlacementTop(int desktop_height, int height) {
  return RoundHalfEven(desktop_height / 2.0 - RoundHalfEven(height / 2.0)) - 125;
}

void LoaderUi::ShowStatus(const std::string& text) {
  status_ = text;
  OnStatusChanged();
  ProcessMessages();
}

void LoaderUi::SetVersionLabel(const std::string& text) {
  version_label_ = text;
  version_reveal_on_ = !version_reveal_on_;
  OnVersionLabelChanged();
}

void LoaderUi::AddLogLine(const std::string& text) {
  const std::size_t first = log_.size();
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    std::string line =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    log_.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (log_copy_) log_copy_({log_.begin() + static_cast<std::ptrdiff_t>(first), log_.end()});
  OnLogChanged();
}

void LoaderUi::SetLogCopy(std::function<void(const std::vector<std::string>&)> copy) {
  log_copy_ = std::move(copy);
}

void LoaderUi::ClearLog() {
  log_.clear();
  OnLogChanged();
}

void LoaderUi::StepProgress() {
  progress_ = std::min(progress_ + 1, kProgressMax);
  OnProgressChanged();
  ProcessMessages();
}

void LoaderUi::SetProgress(int position) {
  progress_ = std::clamp(position, 0, kProgressMax);
  OnProgressChanged();
}

void LoaderUi::HideProgressBar() {
  progress_visible_ = false;
  OnProgressChanged();
}

void LoaderUi::SetHeight(int height) {
  height_ = height;
  top_ = PlacementTop(desktop_height_, height_);
  OnGeometryChanged();
}

void LoaderUi::ToggleLog() {
  if (height_ < kExpandedHeight) {
    hist_picture_ = 1;
    SetHeight(kExpandedHeight);
  } else {
    hist_picture_ = 0;
    SetHeight(kCollapsedHeight);
  }
}

void LoaderUi::PressClose() {
  keep_open_ = false;
  HideProgressBar();
  if (height_ == kExpandedHeight) ToggleLog();
  ProcessMessages();
  StartClosingAnimation();
}

void LoaderUi::StartClosingAnimation() {
  animation_started_ = true;
  OnAnimationStarted();
}

void LoaderUi::OnBannerFrame(int frame) {
  if (keep_open_ || frame != kCloseFrame || close_requested_) return;
  close_requested_ = true;
  if (!DeferCloseWhileWorking()) OnCloseRequested();
}

void LoaderUi::SetActivateHandler(std::function<void()> handler) {
  activate_handler_ = std::move(handler);
}

void LoaderUi::Activate() {
  if (activated_) return;
  activated_ = true;
  QueueActivateHandler();
}

void LoaderUi::RunActivateHandler() {
  if (!activate_handler_) return;
  working_ = true;
  activate_handler_();
  working_ = false;
  if (close_pending_) {
    close_pending_ = false;
    OnCloseRequested();
  }
}

bool LoaderUi::DeferCloseWhileWorking() {
  if (working_) close_pending_ = true;
  return working_;
}

void LoaderUi::Initialise(const ScreenGeometry& screen, bool keep_open) {
  progress_ = 0;
  progress_visible_ = true;
  log_.clear();
  desktop_height_ = screen.desktop_height;
  left_ = RoundHalfEven(screen.first_monitor_width / 2.0 - 255);
  height_ = kCollapsedHeight;
  top_ = PlacementTop(desktop_height_, height_);
  hist_picture_ = 0;
  keep_open_ = keep_open;
  OnProgressChanged();
  OnLogChanged();
  OnGeometryChanged();
}

void LoaderUi::FirstShow(const ScreenGeometry& screen) {
  left_ = (screen.screen_width - kWidth) / 2;
  top_ = (screen.screen_height - height_) / 2;
  OnGeometryChanged();
}

}  // namespace nurv
