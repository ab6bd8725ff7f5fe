#pragma once
#include <cstdint>

// The loader window as both front ends draw it: where each control stands, in pixels of the
// window's client area, and the colours, so that the Qt and the Win32 window read one
// description and cannot drift apart.
namespace nurv::window_look {

struct Box {
  int left;
  int top;
  int width;
  int height;
};

struct Colour {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

inline constexpr Box kBanner{0, 0, 500, 100};
inline constexpr Box kProgressBar{2, 87, 497, 11};
inline constexpr Box kCloseButton{409, 63, 63, 21};
inline constexpr Box kVersionCaption{3, 2, 83, 18};
inline constexpr Box kStatusLine{2, 64, 405, 21};
inline constexpr Box kStatusFrame{2, 63, 404, 21};
inline constexpr Box kLogButton{475, 63, 24, 21};
// The log fills the window below this line when it is shown.
inline constexpr int kLogTop = 103;

inline constexpr Colour kBackground{0x41, 0x41, 0x41};
inline constexpr Colour kTextGreen{0x00, 0xBB, 0x00};
inline constexpr Colour kLogGround{0x05, 0x16, 0x03};
inline constexpr Colour kLogText{0x22, 0xB3, 0x29};
inline constexpr Colour kLogButtonGround{0x37, 0x37, 0x37};
inline constexpr Colour kCloseGrey{0x80, 0x80, 0x80};
inline constexpr Colour kBarGround{0x1C, 0x66, 0x24};
inline constexpr Colour kBarFrom{0x29, 0xD3, 0x31};
inline constexpr Colour kBarTo{0xAD, 0xEF, 0xAD};
// The log button's arrow.
inline constexpr Colour kArrowEdge{0x0A, 0x5C, 0x10};
inline constexpr Colour kArrowFill{0x2E, 0xD1, 0x3A};
// The edges of the sunken status frame and of the buttons under the pointer.
inline constexpr Colour kBevelShadow{0x80, 0x80, 0x80};
inline constexpr Colour kBevelLight{0xFF, 0xFF, 0xFF};
inline constexpr Colour kEdgeDark{0x20, 0x20, 0x20};
inline constexpr Colour kEdgeMid{0x60, 0x60, 0x60};

}  // namespace nurv::window_look
