#pragma once
#include <windows.h>

#include <vector>

#include "gdi.h"

namespace nurv::winui {

// The frames of the banner GIF (resource "BANNER"), each ready to blit, with its delay.
class Banner {
 public:
  Banner();

  int FrameCount() const { return static_cast<int>(frames_.size()); }
  HBITMAP Frame(int index) const { return frames_.empty() ? nullptr : frames_[index].Get(); }
  // Milliseconds until the next frame.
  unsigned Delay(int index) const {
    return index < static_cast<int>(delays_.size()) ? delays_[index] : 50;
  }

 private:
  std::vector<UniqueGdiObject<HBITMAP>> frames_;
  std::vector<unsigned> delays_;
};

}  // namespace nurv::winui
