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

constexpr int kMemoTop = 103;

QPalette SolidPalette(QPalette palette, QRgb ground, QRgb text) {
  for (auto role : {QPalette::Window, QPalette::Base})
    palette.setColor(role, QColor::fromRgb(ground));
  for (auto role : {QPalette::WindowText, QPalette::Text})
    palette.setColor(role, QColor::fromRgb(text));
  return palette;
}

}  // namespace

TfLoader::TfLoader(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
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
  GIF = new QLabel(this);
  GIF->setObjectName(QStringLiteral("GIF"));
  GIF->setGeometry(0, 0, 500, 100);
  banner_.setFileName(QStringLiteral(":/nurv/banner.gif"));
  banner_.setCacheMode(QMovie::CacheAll);
  GIF->setMovie(&banner_);
  banner_.jumpToFrame(0);  // still on its first frame until the closing animation
  connect(&banner_, &QMovie::frameChanged, this, [this](int frame) { GIFFrameChanged(frame); });

  PB = new GradientProgressBar(this);
  PB->setObjectName(QStringLiteral("PB"));
  PB->setGeometry(2, 87, 497, 11);
  PB->SetRange(kProgressMax);

  ButClose = new FlatTextButton(QStringLiteral("Закрыть"), QColor::fromRgb(kCloseGrey),
                                QColor::fromRgb(kWindowText), this);
  ButClose->setObjectName(QStringLiteral("ButClose"));
  ButClose->setGeometry(409, 63, 63, 21);
  ButClose->setFont(MsSansSerif(12));
  connect(ButClose, &QAbstractButton::clicked, this, [this] { ButCloseClick(); });

  LVer = new RevealLabel(this);
  LVer->setObjectName(QStringLiteral("LVer"));
  LVer->setGeometry(3, 2, 83, 18);
  LVer->setTextFormat(Qt::PlainText);
  LVer->setFont(CourierNewBold(9));
  LVer->setPalette(SolidPalette(LVer->palette(), kBackground, kTextGreen));
  LVer->SetCaption(ToQ(VersionLabel()));

  EditR = new QLabel(this);
  EditR->setObjectName(QStringLiteral("EditR"));
  EditR->setGeometry(2, 64, 405, 21);
  EditR->setTextFormat(Qt::PlainText);  // texts from files and servers are never markup
  EditR->setFont(MsSansSerif(12));
  EditR->setPalette(SolidPalette(EditR->palette(), kBackground, kTextGreen));
  EditR->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  EditR->setIndent(3);

  Bevel1 = new SunkenBevel(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setGeometry(2, 63, 404, 21);

  Memo = new QPlainTextEdit(this);
  Memo->setObjectName(QStringLiteral("Memo"));
  Memo->setGeometry(0, kMemoTop, 500, kExpandedHeight - kMemoTop);
  Memo->setReadOnly(true);
  Memo->setFrameShape(QFrame::NoFrame);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo->setFont(GeorgiaBold(9));
  Memo->setPalette(SolidPalette(Memo->palette(), kLogGround, kLogText));
  Memo->setUndoRedoEnabled(false);

  ButHist = new FlatPictureButton(QColor::fromRgb(kHistGround), this);
  ButHist->setObjectName(QStringLiteral("ButHist"));
  ButHist->setGeometry(475, 63, 24, 21);
  ButHist->SetPicture(HistArrow(false));
  connect(ButHist, &QAbstractButton::clicked, this, [this] { ButHistClick(); });
}

TfLoader::~TfLoader() {
  if (wait_cursor_) QApplication::restoreOverrideCursor();
}

void TfLoader::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TfLoader::WaitForMessages(std::chrono::milliseconds timeout) {
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

void TfLoader::SetWaitCursor(bool on) {
  if (on == wait_cursor_) return;
  wait_cursor_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TfLoader::ShowMessageBox(const std::string& text) {
  ShowLoaderMessage(isVisible() ? this : nullptr, QMessageBox::NoIcon, text);
}

bool TfLoader::ShowChooserDialog(ChooserModel& model) {
  TFormDB dialog(model, isVisible() ? this : nullptr);
  return dialog.exec() == QDialog::Accepted;
}

ScreenGeometry TfLoader::CurrentScreenGeometry() {
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

void TfLoader::OnStatusChanged() { EditR->setText(ToQ(Status())); }

void TfLoader::OnVersionLabelChanged() {
  LVer->SetCaption(ToQ(VersionLabel()));
  LVer->SetRevealOn(VersionRevealOn());
}

void TfLoader::OnLogChanged() {
  const auto& lines = Log();
  if (lines.size() < shown_lines_) {
    Memo->clear();
    shown_lines_ = 0;
  }
  for (; shown_lines_ < lines.size(); ++shown_lines_)
    Memo->appendPlainText(ToQ(lines[shown_lines_]));
  // The newest line stays in view.
  Memo->verticalScrollBar()->setValue(Memo->verticalScrollBar()->maximum());
}

void TfLoader::OnProgressChanged() {
  PB->SetValue(ProgressPosition());
  PB->setVisible(ProgressVisible());
}

void TfLoader::OnGeometryChanged() {
  ButHist->SetPicture(HistArrow(HistPicture() == 1));
  setFixedSize(kWidth, Height());
  move(Left(), Top());
  update();
}

void TfLoader::OnAnimationStarted() {
  if (banner_.state() == QMovie::NotRunning) banner_.start();
}

void TfLoader::OnCloseRequested() { close(); }

void TfLoader::QueueActivateHandler() {
  QTimer::singleShot(0, this, [this] { RunActivateHandler(); });
}

void TfLoader::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Activate();
}

void TfLoader::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) Activate();
}

void TfLoader::closeEvent(QCloseEvent* event) {
  if (DeferCloseWhileWorking()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace nurv::qtui
