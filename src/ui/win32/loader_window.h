#pragma once
#include <windows.h>

#include <string>

#include "banner.h"
#include "gdi.h"
#include "loader/loader_ui.h"
#include "step_timing.h"

namespace nurv::winui {

// The loader's main window on Win32: draws the state that LoaderUi keeps and routes the clicks,
// the activations, the timers and the banner's frame changes back to it. Borderless, 501 wide, 100
// or 500 high; everything but the log is painted by the window itself.
class LoaderWindow : public LoaderUi {
 public:
  static constexpr COLORREF kBackground = AsColorRef(window_look::kBackground);
  static constexpr COLORREF kTextGreen = AsColorRef(window_look::kTextGreen);
  static constexpr COLORREF kLogGround = AsColorRef(window_look::kLogGround);
  static constexpr COLORREF kLogText = AsColorRef(window_look::kLogText);
  static constexpr COLORREF kHistGround = AsColorRef(window_look::kLogButtonGround);
  static constexpr COLORREF kCloseGrey = AsColorRef(window_look::kCloseGrey);
  static constexpr COLORREF kBarGround = AsColorRef(window_look::kBarGround);
  static constexpr COLORREF kBarFrom = AsColorRef(window_look::kBarFrom);
  static constexpr COLORREF kBarTo = AsColorRef(window_look::kBarTo);

  explicit LoaderWindow(HINSTANCE instance);
  ~LoaderWindow() override;
  LoaderWindow(const LoaderWindow&) = delete;
  LoaderWindow& operator=(const LoaderWindow&) = delete;

  HWND Handle() const { return window_; }
  void Show();
  // The message loop of the program; returns when the window has been closed.
  int RunMessageLoop();

  void ProcessMessages() override;
  void WaitForMessages(std::chrono::milliseconds timeout) override;
  void SetWaitCursor(bool on) override;
  void ShowMessageBox(const std::string& text) override;
  bool ShowChooserDialog(ChooserModel& model) override;

  static ScreenGeometry CurrentScreenGeometry();

  // What the window shows now: the banner's frame and the version label's text.
  int BannerFrame() const { return banner_frame_; }
  const std::wstring& VersionShown() const { return version_shown_; }

 protected:
  void OnStatusChanged() override;
  void OnVersionLabelChanged() override;
  void OnLogChanged() override;
  void OnProgressChanged() override;
  void OnGeometryChanged() override;
  void OnAnimationStarted() override;
  void OnCloseRequested() override;
  void QueueActivateHandler() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Paint(HDC dc);
  void PaintProgress(HDC dc);
  void PaintButtons(HDC dc);
  void OnMouse(UINT message, POINT at);
  int BannerFrames() const;
  void NextBannerFrames();
  void RevealStep();
  void RevealDueSteps();
  void Invalidate(const RECT& area);

  static constexpr int kFallbackFrames = 25;

  FineTimerResolution timer_resolution_;
  HINSTANCE instance_;
  HWND app_window_ = nullptr;  // the task-bar button "Загрузчик НУРВ"; owner of the window
  HWND window_ = nullptr;
  HWND memo_ = nullptr;
  UniqueGdiObject<HFONT> status_font_ = MakeFont(L"MS Sans Serif", 12, false);
  UniqueGdiObject<HFONT> version_font_ = MakeFont(L"Courier New", 9, true);
  UniqueGdiObject<HFONT> log_font_ = MakeFont(L"Georgia", 9, true);
  UniqueGdiObject<HBRUSH> log_brush_{CreateSolidBrush(kLogGround)};
  Banner banner_;
  int banner_frame_ = 0;
  bool banner_running_ = false;
  StepSchedule banner_schedule_;
  std::wstring version_shown_;
  std::wstring version_caption_;
  int reveal_settled_ = 0;
  wchar_t reveal_cycling_ = L' ';
  bool reveal_running_ = false;
  StepSchedule reveal_schedule_;
  std::size_t shown_lines_ = 0;
  enum class Hot { None, Close, Hist } hot_ = Hot::None, pressed_ = Hot::None;
  bool tracking_mouse_ = false;
  bool wait_cursor_ = false;
  bool quit_seen_ = false;
};

}  // namespace nurv::winui
