#pragma once
#include <windows.h>
// After windows.h, which it needs.
#include <timeapi.h>

#include <algorithm>
#include <chrono>

namespace nurv::winui {

// The steps of an animation on their schedule whatever the granularity of the timer that drives
// them: each step's time counts from the start, and a tick that comes late takes every step due
// by then instead of pushing all later steps back.
class StepSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  // The first step comes `first` from now.
  void Start(std::chrono::milliseconds first) { due_ = Clock::now() + first; }
  // True when the next step is due; it is then taken, and the one after it is `then` later.
  bool TakeDue(std::chrono::milliseconds then) {
    if (Clock::now() < due_) return false;
    due_ += then;
    return true;
  }
  // Whole milliseconds until the next step, at least 1: the next wait of the timer.
  UINT WaitMs() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due_ - Clock::now());
    return static_cast<UINT>(std::max<std::chrono::milliseconds::rep>(1, left.count()));
  }

 private:
  Clock::time_point due_;
};

// The system's timers at a 1 ms resolution for as long as this lives: the default tick of about
// 15.6 ms would stretch every 20 ms step of the window to two ticks.
class FineTimerResolution {
 public:
  FineTimerResolution() : granted_(timeBeginPeriod(1) == TIMERR_NOERROR) {}
  ~FineTimerResolution() {
    if (granted_) timeEndPeriod(1);
  }
  FineTimerResolution(const FineTimerResolution&) = delete;
  FineTimerResolution& operator=(const FineTimerResolution&) = delete;

 private:
  bool granted_;
};

}  // namespace nurv::winui
