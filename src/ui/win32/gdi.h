#pragma once
#include <windows.h>

#include "loader/window_look.h"
#include "platform/win32/unique_handle.h"

namespace nurv::winui {

// A colour of the window's description as GDI takes it.
constexpr COLORREF AsColorRef(window_look::Colour colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

// A font, pen, brush or bitmap, deleted when its owner goes.
template <typename Object>
using UniqueGdiObject = platform::win32::UniqueHandle<Object, &DeleteObject>;
// A memory device context (CreateCompatibleDC).
using UniqueMemoryDc = platform::win32::UniqueHandle<HDC, &DeleteDC>;

// Selects `object` into `dc` and puts the one it replaced back when the guard goes. A guard made
// after the owner of its object is gone before it, so no object is deleted while selected.
class ScopedSelection {
 public:
  ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), replaced_(SelectObject(dc, object)) {}
  ~ScopedSelection() { SelectObject(dc_, replaced_); }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ replaced_;
};

// The painting of a window's invalid area, from BeginPaint to EndPaint.
class WindowPaint {
 public:
  explicit WindowPaint(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~WindowPaint() { EndPaint(window_, &paint_); }
  WindowPaint(const WindowPaint&) = delete;
  WindowPaint& operator=(const WindowPaint&) = delete;

  HDC Dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// A font of `face`, `pixel_size` pixels high.
inline UniqueGdiObject<HFONT> MakeFont(const wchar_t* face, int pixel_size, bool bold) {
  return UniqueGdiObject<HFONT>(CreateFontW(
      -pixel_size, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
}

}  // namespace nurv::winui
