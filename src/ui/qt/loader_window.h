#pragma once
#include <QLabel>
#include <QMovie>
#include <QPlainTextEdit>
#include <QWidget>
#include <chrono>
#include <string>

#include "loader/loader_ui.h"
#include "qt_widgets.h"

namespace nurv::qtui {

// The loader's main window on Qt: draws the state that LoaderUi keeps and routes the clicks, the
// activations and the banner's frame changes back to it. Borderless, 501 wide, 100 or 500 high.
class LoaderWindow : public QWidget, public LoaderUi {
  Q_OBJECT
 public:
  static constexpr QRgb kBackground = AsQRgb(window_look::kBackground);
  static constexpr QRgb kTextGreen = AsQRgb(window_look::kTextGreen);
  static constexpr QRgb kLogGround = AsQRgb(window_look::kLogGround);
  static constexpr QRgb kLogText = AsQRgb(window_look::kLogText);
  static constexpr QRgb kHistGround = AsQRgb(window_look::kLogButtonGround);
  static constexpr QRgb kCloseGrey = AsQRgb(window_look::kCloseGrey);
  static constexpr QRgb kWindowText = 0x000000;
  static inline const char* const kCaption = "Загрузчик НУРВ-Комплекс";

  explicit LoaderWindow(QWidget* parent = nullptr);
  ~LoaderWindow() override;

  void ProcessMessages() override;
  void WaitForMessages(std::chrono::milliseconds timeout) override;
  void SetWaitCursor(bool on) override;
  void ShowMessageBox(const std::string& text) override;
  bool ShowChooserDialog(ChooserModel& model) override;

  // The screen figures Qt reports: first monitor's width, virtual desktop's height, primary size.
  static ScreenGeometry CurrentScreenGeometry();

  // The controls, back to front; each widget's object name is its member's name.
  QLabel* BannerView = nullptr;
  GradientProgressBar* ProgressBar = nullptr;
  FlatTextButton* CloseButton = nullptr;
  RevealLabel* VersionCaption = nullptr;
  QLabel* StatusLine = nullptr;
  SunkenBevel* StatusFrame = nullptr;
  QPlainTextEdit* LogView = nullptr;
  FlatPictureButton* LogButton = nullptr;
  QMovie* Banner() { return &banner_; }

 protected:
  void OnStatusChanged() override;
  void OnVersionLabelChanged() override;
  void OnLogChanged() override;
  void OnProgressChanged() override;
  void OnGeometryChanged() override;
  void OnAnimationStarted() override;
  void OnCloseRequested() override;
  void QueueActivateHandler() override;

  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QMovie banner_;
  bool wait_cursor_ = false;
  std::size_t shown_lines_ = 0;
};

}  // namespace nurv::qtui
