#pragma once
#include <windows.h>

namespace nurv::winui {

// The object a window of ours belongs to: handed over as CreateWindowEx's last argument, kept in
// the window's user data from WM_NCCREATE and forgotten after WM_NCDESTROY, so that no message
// that comes later reaches an object that is gone.
template <typename Owner>
Owner* OwnerOfWindow(HWND window, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return owner;
}

}  // namespace nurv::winui
