#include "button_picture.h"

#include <algorithm>

#include "gdi.h"

namespace nurv::winui {

namespace {

constexpr int kPictureSize = 16;
constexpr int kGap = 3;
constexpr int kInnerEdge = 3;

void DrawFloppy(HDC dc, int left, int top) {
  const RECT body{left + 1, top + 1, left + 15, top + 15};
  FillRect(dc, &body, UniqueGdiObject<HBRUSH>(CreateSolidBrush(kSavePictureColour)).Get());
  const RECT label{left + 4, top + 2, left + 12, top + 7};
  FillRect(dc, &label, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const RECT shutter{left + 5, top + 10, left + 11, top + 15};
  FillRect(dc, &shutter, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
}

void DrawTick(HDC dc, int left, int top) {
  const UniqueGdiObject<HPEN> pen(CreatePen(PS_SOLID, 3, kStartPictureColour));
  const ScopedSelection stroke(dc, pen.Get());
  const POINT tick[] = {{left + 2, top + 8}, {left + 6, top + 12}, {left + 14, top + 3}};
  Polyline(dc, tick, 3);
}

}  // namespace

void DrawPictureButton(const DRAWITEMSTRUCT& item, ButtonPicture picture, HFONT font) {
  HDC dc = item.hDC;
  RECT frame = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  DrawFrameControl(dc, &frame, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));

  wchar_t caption[64] = {};
  const int length = GetWindowTextW(item.hwndItem, caption, 64);
  const ScopedSelection text_font(dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(dc, caption, length, &extent);
  // Picture and caption centred together; both move with the pressed face.
  const int shift = pushed ? 1 : 0;
  // A caption that leaves no room to centre them starts at the button's inner edge.
  const int centred = (item.rcItem.right - item.rcItem.left - kPictureSize - kGap - extent.cx) / 2;
  const int left = item.rcItem.left + std::max(kInnerEdge, centred) + shift;
  const int top =
      item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - kPictureSize) / 2 + shift;
  if (picture == ButtonPicture::Save)
    DrawFloppy(dc, left, top);
  else
    DrawTick(dc, left, top);

  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  RECT text{left + kPictureSize + kGap, item.rcItem.top + shift, item.rcItem.right,
            item.rcItem.bottom + shift};
  DrawTextW(dc, caption, length, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -4, -4);
    DrawFocusRect(dc, &focus);
  }
}

}  // namespace nurv::winui
