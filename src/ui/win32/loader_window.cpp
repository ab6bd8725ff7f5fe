#include "loader_window.h"

#include <windowsx.h>

#include <algorithm>

#include "chooser_dialog.h"
#include "gdi.h"
#include "message_box.h"
#include "platform/win32/wide_text.h"
#include "window_owner.h"

namespace nurv::winui {

using platform::win32::Widen;

namespace {

constexpr wchar_t kWindowClass[] = L"LoaderWindow";
constexpr wchar_t kAppClass[] = L"TApplication";
constexpr wchar_t kCaption[] = L"Загрузчик НУРВ-Комплекс";
constexpr UINT kRunMessage = WM_APP + 1;
constexpr UINT_PTR kBannerTimer = 1;
constexpr UINT_PTR kRevealTimer = 2;
constexpr std::chrono::milliseconds kRevealStep{20};
using window_look::kLogTop;

constexpr RECT RectOf(window_look::Box box) {
  return {box.left, box.top, box.left + box.width, box.top + box.height};
}

constexpr RECT kGifRect = RectOf(window_look::kBanner);
constexpr RECT kBarRect = RectOf(window_look::kProgressBar);
constexpr RECT kCloseRect = RectOf(window_look::kCloseButton);
constexpr RECT kVersionRect = RectOf(window_look::kVersionCaption);
constexpr RECT kStatusRect = RectOf(window_look::kStatusLine);
constexpr RECT kBevelRect = RectOf(window_look::kStatusFrame);
constexpr RECT kHistRect = RectOf(window_look::kLogButton);

void Line(HDC dc, int x1, int y1, int x2, int y2) {
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}

// A one-pixel frame: `top_left` on the upper and left edges, `bottom_right` on the others.
void Frame3D(HDC dc, const RECT& r, COLORREF top_left, COLORREF bottom_right) {
  const UniqueGdiObject<HPEN> light(CreatePen(PS_SOLID, 1, top_left));
  const UniqueGdiObject<HPEN> dark(CreatePen(PS_SOLID, 1, bottom_right));
  const ScopedSelection pen(dc, light.Get());
  Line(dc, r.left, r.top, r.right - 1, r.top);
  Line(dc, r.left, r.top, r.left, r.bottom - 1);
  SelectObject(dc, dark.Get());
  Line(dc, r.left, r.bottom - 1, r.right, r.bottom - 1);
  Line(dc, r.right - 1, r.top, r.right - 1, r.bottom - 1);
}

void Fill(HDC dc, const RECT& r, COLORREF colour) {
  FillRect(dc, &r, UniqueGdiObject<HBRUSH>(CreateSolidBrush(colour)).Get());
}

// The green arrow of the history button: down while the log is hidden (picture 0), up while it is
// shown.
void DrawArrow(HDC dc, int left, int top, bool up) {
  auto y = [&](int v) { return top + (up ? 14 - v : v); };
  const POINT shape[] = {{left + 5, y(1)},  {left + 9, y(1)}, {left + 9, y(7)}, {left + 13, y(7)},
                         {left + 7, y(13)}, {left + 1, y(7)}, {left + 5, y(7)}};
  const UniqueGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, AsColorRef(window_look::kArrowEdge)));
  const UniqueGdiObject<HBRUSH> brush(CreateSolidBrush(AsColorRef(window_look::kArrowFill)));
  const ScopedSelection outline(dc, pen.Get());
  const ScopedSelection inside(dc, brush.Get());
  Polygon(dc, shape, 7);
}

bool Inside(const RECT& r, POINT p) { return PtInRect(&r, p) != 0; }

// Called for each monitor in the system's order; the first one ends the enumeration.
BOOL CALLBACK FirstMonitorWidth(HMONITOR, HDC, LPRECT rect, LPARAM data) {
  reinterpret_cast<ScreenGeometry*>(data)->first_monitor_width = rect->right - rect->left;
  return FALSE;
}

}  // namespace

LoaderWindow::LoaderWindow(HINSTANCE instance) : instance_(instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &LoaderWindow::WindowProc;
  window_class.hInstance = instance_;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
  window_class.lpfnWndProc = &LoaderWindow::AppWindowProc;
  window_class.lpszClassName = kAppClass;
  RegisterClassExW(&window_class);

  // The task bar shows the application's title, not the window's: a visible window of no size
  // carries the button and owns the borderless window.
  app_window_ =
      CreateWindowExW(0, kAppClass, kAppTitle, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                      0, 0, 0, 0, nullptr, nullptr, instance_, this);
  window_ = CreateWindowExW(0, kWindowClass, kCaption, WS_POPUP | WS_CLIPCHILDREN, 0, 0, kWidth,
                            kCollapsedHeight, app_window_, nullptr, instance_, this);
  memo_ = CreateWindowExW(0, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                              ES_AUTOVSCROLL | ES_NOHIDESEL,
                          0, kLogTop, 500, kExpandedHeight - kLogTop, window_, nullptr, instance_,
                          nullptr);
  SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(log_font_.Get()), FALSE);
  SendMessageW(memo_, EM_SETLIMITTEXT, 0, 0);
  version_shown_ = Widen(VersionLabel());
  version_caption_ = version_shown_;
}

LoaderWindow::~LoaderWindow() {
  // The windows go first: the log still uses its font until then.
  if (window_) DestroyWindow(window_);
  if (app_window_) DestroyWindow(app_window_);
}

void LoaderWindow::Show() {
  ShowWindow(app_window_, SW_SHOWNOACTIVATE);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  UpdateWindow(window_);
  // Where nothing activates the window (no window manager), showing it is the activation.
  Activate();
}

int LoaderWindow::RunMessageLoop() {
  MSG message;
  while (window_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

void LoaderWindow::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Kept for the program's own loop, which ends on it.
      quit_seen_ = true;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (quit_seen_ && !Working()) {
    quit_seen_ = false;
    PostQuitMessage(0);
  }
}

void LoaderWindow::WaitForMessages(std::chrono::milliseconds timeout) {
  const DWORD ms = timeout.count() <= 0
                       ? 0
                       : static_cast<DWORD>(std::min<long long>(timeout.count(), INFINITE - 1));
  // Blocks until input, a timer, a posted or a sent message arrives, or the time is up.
  MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void LoaderWindow::SetWaitCursor(bool on) {
  wait_cursor_ = on;
  SetCursor(LoadCursorW(nullptr, on ? MAKEINTRESOURCEW(32514) : MAKEINTRESOURCEW(32512)));
}

void LoaderWindow::ShowMessageBox(const std::string& text) {
  ShowLoaderMessage(IsWindowVisible(window_) ? window_ : nullptr, text, MB_TASKMODAL);
}

bool LoaderWindow::ShowChooserDialog(ChooserModel& model) {
  ChooserDialog dialog(instance_, model);
  return dialog.ShowModal(IsWindowVisible(window_) ? window_ : nullptr);
}

ScreenGeometry LoaderWindow::CurrentScreenGeometry() {
  ScreenGeometry screen;
  // The first monitor of the system's list.
  EnumDisplayMonitors(nullptr, nullptr, &FirstMonitorWidth, reinterpret_cast<LPARAM>(&screen));
  screen.desktop_height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  screen.screen_width = GetSystemMetrics(SM_CXSCREEN);
  screen.screen_height = GetSystemMetrics(SM_CYSCREEN);
  if (screen.first_monitor_width == 0) screen.first_monitor_width = screen.screen_width;
  return screen;
}

void LoaderWindow::Invalidate(const RECT& area) { InvalidateRect(window_, &area, FALSE); }

void LoaderWindow::OnStatusChanged() { Invalidate(kStatusRect); }

void LoaderWindow::OnVersionLabelChanged() {
  version_caption_ = Widen(VersionLabel());
  if (VersionRevealOn()) {
    // Revealed from left to right: the next character cycles upward from a blank until it settles.
    reveal_settled_ = 0;
    reveal_cycling_ = L' ';
    version_shown_ = version_caption_.empty() ? L"" : L" ";
    reveal_running_ = true;
    reveal_schedule_.Start(kRevealStep);
    SetTimer(window_, kRevealTimer, reveal_schedule_.WaitMs(), nullptr);
  } else {
    KillTimer(window_, kRevealTimer);
    reveal_running_ = false;
    version_shown_ = version_caption_;
  }
  Invalidate(kVersionRect);
}

void LoaderWindow::RevealStep() {
  const int length = static_cast<int>(version_caption_.size());
  if (reveal_settled_ < length) {
    const wchar_t target = version_caption_[reveal_settled_];
    if (reveal_cycling_ < target) ++reveal_cycling_;
    if (reveal_cycling_ >= target) {
      ++reveal_settled_;
      reveal_cycling_ = L' ';
    }
  }
  if (reveal_settled_ >= length) {
    KillTimer(window_, kRevealTimer);
    reveal_running_ = false;
    version_shown_ = version_caption_;
  } else {
    version_shown_ = version_caption_.substr(0, reveal_settled_) + reveal_cycling_;
  }
  Invalidate(kVersionRect);
}

void LoaderWindow::RevealDueSteps() {
  while (reveal_running_ && reveal_schedule_.TakeDue(kRevealStep)) RevealStep();
  if (reveal_running_) SetTimer(window_, kRevealTimer, reveal_schedule_.WaitMs(), nullptr);
}

void LoaderWindow::OnLogChanged() {
  const auto& lines = Log();
  if (lines.size() < shown_lines_) {
    SetWindowTextW(memo_, L"");
    shown_lines_ = 0;
  }
  if (shown_lines_ == lines.size()) return;
  std::wstring added;
  for (; shown_lines_ < lines.size(); ++shown_lines_) {
    if (shown_lines_ > 0) added += L"\r\n";
    added += Widen(lines[shown_lines_]);
  }
  const LRESULT end = GetWindowTextLengthW(memo_);
  SendMessageW(memo_, EM_SETSEL, end, end);
  SendMessageW(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
  // The newest line stays in view.
  SendMessageW(memo_, WM_VSCROLL, SB_BOTTOM, 0);
}

void LoaderWindow::OnProgressChanged() { Invalidate(kBarRect); }

void LoaderWindow::OnGeometryChanged() {
  SetWindowPos(window_, nullptr, Left(), Top(), kWidth, Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window_, nullptr, FALSE);
}

int LoaderWindow::BannerFrames() const {
  // Without a usable picture the animation still runs its course, so the window still closes.
  return banner_.FrameCount() > kCloseFrame ? banner_.FrameCount() : kFallbackFrames;
}

void LoaderWindow::OnAnimationStarted() {
  if (banner_running_) return;
  banner_running_ = true;
  banner_frame_ = 0;
  banner_schedule_.Start(std::chrono::milliseconds(banner_.Delay(0)));
  SetTimer(window_, kBannerTimer, banner_schedule_.WaitMs(), nullptr);
}

void LoaderWindow::NextBannerFrames() {
  // Every frame due by now, each one handed to the window's logic, so frame 19 is never skipped.
  while (banner_frame_ + 1 < BannerFrames() &&
         banner_schedule_.TakeDue(std::chrono::milliseconds(banner_.Delay(banner_frame_ + 1)))) {
    ++banner_frame_;
    Invalidate(kGifRect);
    OnBannerFrame(banner_frame_);
    if (!window_) return;  // frame 19 has closed the window
  }
  if (banner_frame_ + 1 >= BannerFrames()) {
    KillTimer(window_, kBannerTimer);  // played once, no loop
  } else {
    SetTimer(window_, kBannerTimer, banner_schedule_.WaitMs(), nullptr);
  }
}

void LoaderWindow::OnCloseRequested() {
  if (window_) DestroyWindow(window_);
}

void LoaderWindow::QueueActivateHandler() { PostMessageW(window_, kRunMessage, 0, 0); }

void LoaderWindow::PaintProgress(HDC dc) {
  if (!ProgressVisible()) return;
  Fill(dc, kBarRect, kBarGround);
  const int width = kBarRect.right - kBarRect.left;
  const int filled = width * ProgressPosition() / kProgressMax;
  // The shading spans the whole bar, so a colour stays where it is while the bar grows.
  for (int x = 0; x < filled; ++x) {
    const int t = width > 1 ? x * 255 / (width - 1) : 0;
    auto mix = [t](int from, int to) { return from + (to - from) * t / 255; };
    const COLORREF colour = RGB(mix(GetRValue(kBarFrom), GetRValue(kBarTo)),
                                mix(GetGValue(kBarFrom), GetGValue(kBarTo)),
                                mix(GetBValue(kBarFrom), GetBValue(kBarTo)));
    const UniqueGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, colour));
    const ScopedSelection column(dc, pen.Get());
    Line(dc, kBarRect.left + x, kBarRect.top, kBarRect.left + x, kBarRect.bottom);
  }
}

void LoaderWindow::PaintButtons(HDC dc) {
  // "Закрыть": flat and transparent; framed and in the window-text colour under the pointer.
  RECT close = kCloseRect;
  const bool close_hot = hot_ == Hot::Close;
  if (close_hot)
    Frame3D(dc, close, AsColorRef(window_look::kBevelShadow), AsColorRef(window_look::kEdgeDark));
  if (pressed_ == Hot::Close && close_hot) OffsetRect(&close, 1, 1);
  {
    const ScopedSelection font(dc, status_font_.Get());
    SetTextColor(dc, close_hot ? GetSysColor(COLOR_WINDOWTEXT) : kCloseGrey);
    DrawTextW(dc, L"Закрыть", -1, &close, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }

  Fill(dc, kHistRect, kHistGround);
  const bool hist_hot = hot_ == Hot::Hist;
  const bool hist_down = hist_hot && pressed_ == Hot::Hist;
  if (hist_hot) {
    Frame3D(dc, kHistRect,
            hist_down ? AsColorRef(window_look::kEdgeDark) : AsColorRef(window_look::kEdgeMid),
            hist_down ? AsColorRef(window_look::kEdgeMid) : AsColorRef(window_look::kEdgeDark));
  }
  const int shift = hist_down ? 1 : 0;
  DrawArrow(dc, kHistRect.left + (24 - 15) / 2 + shift, kHistRect.top + (21 - 15) / 2 + shift,
            LogButtonPicture() == 1);
}

void LoaderWindow::Paint(HDC dc) {
  RECT client;
  GetClientRect(window_, &client);
  Fill(dc, client, kBackground);
  if (HBITMAP frame =
          banner_frame_ < banner_.FrameCount() ? banner_.Frame(banner_frame_) : banner_.Frame(0)) {
    const UniqueMemoryDc source(CreateCompatibleDC(dc));
    const ScopedSelection picture(source.Get(), frame);
    BitBlt(dc, 0, 0, 500, 100, source.Get(), 0, 0, SRCCOPY);
  }
  PaintProgress(dc);
  SetBkMode(dc, TRANSPARENT);
  PaintButtons(dc);

  SetTextColor(dc, kTextGreen);
  {
    const ScopedSelection font(dc, version_font_.Get());
    RECT version = kVersionRect;
    DrawTextW(dc, version_shown_.c_str(), -1, &version,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }
  {
    const ScopedSelection font(dc, status_font_.Get());
    RECT status = kStatusRect;
    status.left += 3;
    const std::wstring text = Widen(Status());
    DrawTextW(dc, text.c_str(), -1, &status,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  Frame3D(dc, kBevelRect, AsColorRef(window_look::kBevelShadow),
          AsColorRef(window_look::kBevelLight));
}

void LoaderWindow::OnMouse(UINT message, POINT at) {
  const Hot under = Inside(kCloseRect, at)  ? Hot::Close
                    : Inside(kHistRect, at) ? Hot::Hist
                                            : Hot::None;
  if (message == WM_MOUSEMOVE && !tracking_mouse_) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window_, 0};
    tracking_mouse_ = TrackMouseEvent(&track) != 0;
  }
  if (message == WM_LBUTTONDOWN && under != Hot::None) {
    pressed_ = under;
    SetCapture(window_);
  }
  if (under != hot_) {
    hot_ = under;
    Invalidate(kCloseRect);
    Invalidate(kHistRect);
  }
  if (message == WM_LBUTTONUP && pressed_ != Hot::None) {
    const Hot clicked = pressed_ == under ? under : Hot::None;
    pressed_ = Hot::None;
    ReleaseCapture();
    Invalidate(kCloseRect);
    Invalidate(kHistRect);
    if (clicked == Hot::Close) PressClose();
    if (clicked == Hot::Hist) ToggleLog();
  } else if (message == WM_LBUTTONDOWN) {
    Invalidate(under == Hot::Close ? kCloseRect : kHistRect);
  }
}

LRESULT CALLBACK LoaderWindow::AppWindowProc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* self = OwnerOfWindow<LoaderWindow>(window, message, lparam);
  switch (message) {
    case WM_ACTIVATE:
      // The task-bar button activates the window it stands for.
      if (LOWORD(wparam) != WA_INACTIVE && self && self->window_ &&
          IsWindowEnabled(self->window_)) {
        SetActiveWindow(self->window_);
      }
      return 0;
    case WM_CLOSE:
      if (self && self->window_) PostMessageW(self->window_, WM_CLOSE, 0, 0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

LRESULT CALLBACK LoaderWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = OwnerOfWindow<LoaderWindow>(window, message, lparam);
  if (!self || message == WM_NCDESTROY) return DefWindowProcW(window, message, wparam, lparam);
  if (self->window_ == nullptr && message == WM_NCCREATE) self->window_ = window;
  return self->OnMessage(window, message, wparam, lparam);
}

LRESULT LoaderWindow::OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      const WindowPaint paint(window_);
      // Drawn off screen first, so nothing flickers while the bar and the banner change.
      RECT client;
      GetClientRect(window_, &client);
      const UniqueMemoryDc buffer(CreateCompatibleDC(paint.Dc()));
      const UniqueGdiObject<HBITMAP> bitmap(
          CreateCompatibleBitmap(paint.Dc(), client.right, client.bottom));
      const ScopedSelection canvas(buffer.Get(), bitmap.Get());
      Paint(buffer.Get());
      BitBlt(paint.Dc(), 0, 0, client.right, client.bottom, buffer.Get(), 0, 0, SRCCOPY);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, kLogText);
      SetBkColor(dc, kLogGround);
      return reinterpret_cast<LRESULT>(log_brush_.Get());
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      OnMouse(message, POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      return 0;
    case WM_MOUSELEAVE:
      tracking_mouse_ = false;
      if (hot_ != Hot::None) {
        hot_ = Hot::None;
        Invalidate(kCloseRect);
        Invalidate(kHistRect);
      }
      return 0;
    case WM_SETCURSOR:
      if (wait_cursor_ && LOWORD(lparam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
        return TRUE;
      }
      break;
    case WM_TIMER:
      if (wparam == kBannerTimer) NextBannerFrames();
      if (wparam == kRevealTimer) RevealDueSteps();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) Activate();
      break;
    case kRunMessage:
      RunActivateHandler();
      // A quit seen while the handler ran was kept back; the program's loop ends on it now.
      if (quit_seen_) ProcessMessages();
      return 0;
    case WM_CLOSE:
      if (!DeferCloseWhileWorking()) OnCloseRequested();
      return 0;
    case WM_DESTROY:
      KillTimer(window_, kBannerTimer);
      KillTimer(window_, kRevealTimer);
      window_ = nullptr;
      memo_ = nullptr;
      if (app_window_) {
        DestroyWindow(app_window_);
        app_window_ = nullptr;
      }
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace nurv::winui
