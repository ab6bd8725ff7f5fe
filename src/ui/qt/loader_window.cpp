#include "loader_window.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <limits>

#include "chooser_dialog.h"
#include "message_box.h"

// Resources of a static library are registered by hand; the call must be outside any namespace.
static void InitQtUiResources() { Q_INIT_RESOURCE(nurv_qtui); }

namespace nurv::qtui {

namespace {

using window_look::kLogTop;

QRect RectOf(window_look::Box box) { return QRect(box.left, box.top, box.width, box.height); }

QPalette SolidPalette(QPalette palette, QRgb ground, QRgb text) {
  for (auto role : {QPalette::Window, QPalette::Base})
    palette.setColor(role, QColor::fromRgb(ground));
  for (auto role : {QPalette::WindowText, QPalette::Text})
    palette.setColor(role, QColor::fromRgb(text));
  return palette;
}

}  // namespace

LoaderWindow::LoaderWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  InitQtUiResources();
  setObjectName(QStringLiteral("fLoader"));
  // The window's own caption is never seen (no border). The window system's title stays empty so
  // that Qt names the window by the application's display name alone, which the task bar then
  // shows.
  setAccessibleName(QString::fromUtf8(kCaption));
  setFont(MsSansSerif(11));
  setAutoFillBackground(true);
  setPalette(SolidPalette(palette(), kBackground, kWindowText));
  setFixedSize(kWidth, kCollapsedHeight);

  // From back to front: each control is drawn over those made before it.
  BannerView = new QLabel(this);
  BannerView->setObjectName(QStringLiteral("BannerView"));
  BannerView->setGeometry(RectOf(window_look::kBanner));
  banner_.setFileName(QStringLiteral(":/nurv/banner.gif"));
  banner_.setCacheMode(QMovie::CacheAll);
  BannerView->setMovie(&banner_);
  banner_.jumpToFrame(0);  // still on its first frame until the closing animation
  connect(&banner_, &QMovie::frameChanged, this, [this](int frame) { OnBannerFrame(frame); });

  ProgressBar = new GradientProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setGeometry(RectOf(window_look::kProgressBar));
  ProgressBar->SetRange(kProgressMax);

  CloseButton = new FlatTextButton(QStringLiteral("Закрыть"), QColor::fromRgb(kCloseGrey),
                                   QColor::fromRgb(kWindowText), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry(RectOf(window_look::kCloseButton));
  CloseButton->setFont(MsSansSerif(12));
  connect(CloseButton, &QAbstractButton::clicked, this, [this] { PressClose(); });

  VersionCaption = new RevealLabel(this);
  VersionCaption->setObjectName(QStringLiteral("VersionCaption"));
  VersionCaption->setGeometry(RectOf(window_look::kVersionCaption));
  VersionCaption->setTextFormat(Qt::PlainText);
  VersionCaption->setFont(CourierNewBold(9));
  VersionCaption->setPalette(SolidPalette(VersionCaption->palette(), kBackground, kTextGreen));
  VersionCaption->SetCaption(ToQ(VersionLabel()));

  StatusLine = new QLabel(this);
  StatusLine->setObjectName(QStringLiteral("StatusLine"));
  StatusLine->setGeometry(RectOf(window_look::kStatusLine));
  StatusLine->setTextFormat(Qt::PlainText);  // texts from files and servers are never markup
  StatusLine->setFont(MsSansSerif(12));
  StatusLine->setPalette(SolidPalette(StatusLine->palette(), kBackground, kTextGreen));
  StatusLine->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  StatusLine->setIndent(3);

  StatusFrame = new SunkenBevel(this);
  StatusFrame->setObjectName(QStringLiteral("StatusFrame"));
  StatusFrame->setGeometry(RectOf(window_look::kStatusFrame));

  LogView = new QPlainTextEdit(this);
  LogView->setObjectName(QStringLiteral("LogView"));
  LogView->setGeometry(0, kLogTop, 500, kExpandedHeight - kLogTop);
  LogView->setReadOnly(true);
  LogView->setFrameShape(QFrame::NoFrame);
  LogView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  LogView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  LogView->setFont(GeorgiaBold(9));
  LogView->setPalette(SolidPalette(LogView->palette(), kLogGround, kLogText));
  LogView->setUndoRedoEnabled(false);

  LogButton = new FlatPictureButton(QColor::fromRgb(kHistGround), this);
  LogButton->setObjectName(QStringLiteral("LogButton"));
  LogButton->setGeometry(RectOf(window_look::kLogButton));
  LogButton->SetPicture(HistArrow(false));
  connect(LogButton, &QAbstractButton::clicked, this, [this] { ToggleLog(); });
}

LoaderWindow::~LoaderWindow() {
  if (wait_cursor_) QApplication::restoreOverrideCursor();
}

void LoaderWindow::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void LoaderWindow::WaitForMessages(std::chrono::milliseconds timeout) {
  if (timeout.count() <= 0) {
    ProcessMessages();
    return;
  }
  // The timer only wakes the queue; the call blocks until it or any other event arrives.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  // QTimer counts in int milliseconds.
  wake.start(std::min(timeout, std::chrono::milliseconds(std::numeric_limits<int>::max())));
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void LoaderWindow::SetWaitCursor(bool on) {
  if (on == wait_cursor_) return;
  wait_cursor_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void LoaderWindow::ShowMessageBox(const std::string& text) {
  ShowLoaderMessage(isVisible() ? this : nullptr, QMessageBox::NoIcon, text);
}

bool LoaderWindow::ShowChooserDialog(ChooserModel& model) {
  ChooserDialog dialog(model, isVisible() ? this : nullptr);
  return dialog.exec() == QDialog::Accepted;
}

ScreenGeometry LoaderWindow::CurrentScreenGeometry() {
  ScreenGeometry screen;
  const auto screens = QGuiApplication::screens();
  if (!screens.isEmpty()) screen.first_monitor_width = screens.first()->geometry().width();
  if (QScreen* primary = QGuiApplication::primaryScreen()) {
    screen.desktop_height = primary->virtualGeometry().height();
    screen.screen_width = primary->geometry().width();
    screen.screen_height = primary->geometry().height();
  }
  return screen;
}

void LoaderWindow::OnStatusChanged() { StatusLine->setText(ToQ(Status())); }

void LoaderWindow::OnVersionLabelChanged() {
  VersionCaption->SetCaption(ToQ(VersionLabel()));
  VersionCaption->SetRevealOn(VersionRevealOn());
}

void LoaderWindow::OnLogChanged() {
  const auto& lines = Log();
  if (lines.size() < shown_lines_) {
    LogView->clear();
    shown_lines_ = 0;
  }
  for (; shown_lines_ < lines.size(); ++shown_lines_)
    LogView->appendPlainText(ToQ(lines[shown_lines_]));
  // The newest line stays in view.
  LogView->verticalScrollBar()->setValue(LogView->verticalScrollBar()->maximum());
}

void LoaderWindow::OnProgressChanged() {
  ProgressBar->SetValue(ProgressPosition());
  ProgressBar->setVisible(ProgressVisible());
}

void LoaderWindow::OnGeometryChanged() {
  LogButton->SetPicture(HistArrow(LogButtonPicture() == 1));
  setFixedSize(kWidth, Height());
  move(Left(), Top());
  update();
}

void LoaderWindow::OnAnimationStarted() {
  if (banner_.state() != QMovie::NotRunning) return;
  // The still banner stands on frame 0, from which start() would step on to frame 1; set back
  // before it, the animation plays from frame 0 and frame 19 comes 19 delays later.
  banner_.setFileName(banner_.fileName());
  banner_.start();
}

void LoaderWindow::OnCloseRequested() { close(); }

void LoaderWindow::QueueActivateHandler() {
  QTimer::singleShot(0, this, [this] { RunActivateHandler(); });
}

void LoaderWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Activate();
}

void LoaderWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) Activate();
}

void LoaderWindow::closeEvent(QCloseEvent* event) {
  if (DeferCloseWhileWorking()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace nurv::qtui
