#pragma once
#include <windows.h>

#include <vector>

namespace nurv::winui {

// The frames of the banner GIF (resource "BANNER"), each ready to blit, with its delay.
class Banner {
 public:
  Banner();
  ~Banner();
  Banner(const Banner&) = delete;
  Banner& operator=(const Banner&) = delete;

  int FrameCount() const { return static_cast<int>(frames_.size()); }
  HBITMAP Frame(int index) const { return frames_.empty() ? nullptr : frames_[index]; }
  // Milliseconds until the next frame.
  unsigned Delay(int index) const {
    return index < static_cast<int>(delays_.size()) ? delays_[index] : 50;
  }

 private:
  std::vector<HBITMAP> frames_;
  std::vector<unsigned> delays_;
};

}  // namespace nurv::winui
