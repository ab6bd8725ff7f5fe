#include "loader_window.h"

#include <gtest/gtest.h>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFontInfo>
#include <QImageReader>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <cstdlib>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "message_box.h"
#include "message_box_closer.h"

namespace nurv::qtui {
namespace {

const ScreenGeometry kFullHd{1920, 1080, 1920, 1080};

QColor PixelAt(QWidget& widget, int x, int y) { return widget.grab().toImage().pixelColor(x, y); }

bool Near(QColor actual, QRgb expected, int tolerance = 6) {
  const QColor want = QColor::fromRgb(expected);
  return std::abs(actual.red() - want.red()) <= tolerance &&
         std::abs(actual.green() - want.green()) <= tolerance &&
         std::abs(actual.blue() - want.blue()) <= tolerance;
}

// Green pixels of the history button's picture in its upper and lower halves.
std::pair<int, int> GreenHalves(FlatPictureButton& button) {
  const QImage image = button.grab().toImage();
  int upper = 0;
  int lower = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.green() > 150 && c.red() < 120) (y < image.height() / 2 ? upper : lower)++;
    }
  }
  return {upper, lower};
}

// Runs the message loop until `done` holds; a bound keeps a fault from hanging the suite.
template <typename Pred>
bool PumpUntil(LoaderWindow& window, Pred done) {
  for (int i = 0; i < 2000 && !done(); ++i) window.WaitForMessages(std::chrono::milliseconds(20));
  return done();
}

class LoaderWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.Initialise(kFullHd, false);
    window.FirstShow(kFullHd);
  }
  LoaderWindow window;
};

TEST_F(LoaderWindowTest, BorderlessWindowAndControlsAtTheirPlaces) {
  EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(window.accessibleName(), QStringLiteral("Загрузчик НУРВ-Комплекс"));
  EXPECT_TRUE(window.windowTitle().isEmpty()) << "the task bar shows the application's title";
  const std::vector<std::pair<QWidget*, QRect>> places = {
      {window.BannerView, {0, 0, 500, 100}},   {window.ProgressBar, {2, 87, 497, 11}},
      {window.CloseButton, {409, 63, 63, 21}}, {window.VersionCaption, {3, 2, 83, 18}},
      {window.StatusLine, {2, 64, 405, 21}},   {window.StatusFrame, {2, 63, 404, 21}},
      {window.LogView, {0, 103, 500, 397}},    {window.LogButton, {475, 63, 24, 21}}};
  for (const auto& [control, place] : places) {
    EXPECT_EQ(control->geometry(), place) << control->objectName().toStdString();
  }
  EXPECT_EQ(window.Banner()->currentFrameNumber(), 0);
}

TEST(LoaderWindowBanner, TwentyFiveFramesOf50MsPlayedOnce) {
  LoaderWindow window;  // registers the resources
  QImageReader reader(QStringLiteral(":/nurv/banner.gif"));
  ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
  EXPECT_EQ(reader.size(), QSize(500, 100));
  EXPECT_EQ(reader.imageCount(), 25);
  EXPECT_EQ(reader.loopCount(), 0);
  int frames = 0;
  for (; reader.canRead(); ++frames) {
    ASSERT_FALSE(reader.read().isNull());
    EXPECT_EQ(reader.nextImageDelay(), 50) << "frame " << frames;
  }
  EXPECT_EQ(frames, 25);
}

TEST_F(LoaderWindowTest, PlacementOnAFullHdScreenFollowsTheHeight) {
  EXPECT_EQ(window.geometry(), QRect(709, 490, 501, 100));
  window.ToggleLog();
  EXPECT_EQ(window.geometry(), QRect(709, 165, 501, 500));
  window.ToggleLog();
  EXPECT_EQ(window.geometry(), QRect(709, 365, 501, 100));
}

TEST_F(LoaderWindowTest, HistoryButtonTogglesLogAndArrowPicture) {
  window.show();
  auto [upper, lower] = GreenHalves(*window.LogButton);
  EXPECT_GT(lower, upper) << "arrow down while the log is hidden";
  QTest::mouseClick(window.LogButton, Qt::LeftButton);
  EXPECT_EQ(window.Height(), 500);
  EXPECT_EQ(window.height(), 500);
  std::tie(upper, lower) = GreenHalves(*window.LogButton);
  EXPECT_GT(upper, lower) << "arrow up while the log is shown";
  QTest::mouseClick(window.LogButton, Qt::LeftButton);
  EXPECT_EQ(window.height(), 100);
}

TEST_F(LoaderWindowTest, CloseCaptionTakesTheWindowTextColourUnderThePointer) {
  window.show();
  auto caption_pixels = [&](QRgb colour) {
    const QImage image = window.CloseButton->grab().toImage();
    int count = 0;
    for (int y = 4; y < image.height() - 4; ++y)
      for (int x = 4; x < image.width() - 4; ++x) count += Near(image.pixelColor(x, y), colour, 8);
    return count;
  };
  EXPECT_GT(caption_pixels(LoaderWindow::kCloseGrey), 10);
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(414, 68));
  QApplication::sendEvent(window.CloseButton, &enter);
  EXPECT_TRUE(window.CloseButton->Hovered());
  EXPECT_GT(caption_pixels(LoaderWindow::kWindowText), 10);
  EXPECT_EQ(caption_pixels(LoaderWindow::kCloseGrey), 0);
}

TEST_F(LoaderWindowTest, ColoursOfTheRenderedWindow) {
  window.ToggleLog();
  window.show();
  EXPECT_TRUE(Near(PixelAt(window, 500, 50), LoaderWindow::kBackground));
  EXPECT_TRUE(Near(PixelAt(window, 250, 450), LoaderWindow::kLogGround));
  EXPECT_TRUE(Near(PixelAt(window, 480, 66), LoaderWindow::kHistGround));
  EXPECT_TRUE(Near(PixelAt(window, 100, 92), GradientProgressBar::kGround)) << "empty bar";
  for (int i = 0; i < 7; ++i) window.StepProgress();
  EXPECT_TRUE(Near(PixelAt(window, 3, 92), GradientProgressBar::kBarFrom, 10));
  EXPECT_TRUE(Near(PixelAt(window, 400, 92), GradientProgressBar::kGround)) << "half way";

  window.AddLogLine("ИНИЦИАЛИЗАЦИЯ");
  window.ShowStatus("Считывание реестра...");
  const QImage image = window.grab().toImage();
  auto has_colour = [&](QRect area, QRgb colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x)
        if (Near(image.pixelColor(x, y), colour, 30)) return true;
    return false;
  };
  EXPECT_TRUE(has_colour({4, 66, 200, 16}, LoaderWindow::kTextGreen)) << "status text";
  EXPECT_TRUE(has_colour({0, 103, 200, 20}, LoaderWindow::kLogText)) << "log text";
  EXPECT_TRUE(has_colour({410, 64, 60, 19}, LoaderWindow::kCloseGrey)) << "close caption";
}

TEST_F(LoaderWindowTest, ProgressBarStaysFullAfterMoreThanFourteenSteps) {
  window.show();
  for (int i = 0; i < 20; ++i) window.StepProgress();
  EXPECT_EQ(window.ProgressBar->Value(), 14);
  EXPECT_TRUE(Near(PixelAt(window, 497, 92), GradientProgressBar::kBarTo, 10));
  window.HideProgressBar();
  EXPECT_FALSE(window.ProgressBar->isVisible());
}

TEST_F(LoaderWindowTest, LogSplitsLinesKeepsNewestInViewAndClears) {
  window.ToggleLog();
  window.show();
  window.AddLogLine("первая\r\nвторая");
  ASSERT_EQ(window.LogView->document()->blockCount(), 2);
  EXPECT_EQ(window.LogView->document()->findBlockByNumber(1).text(), QStringLiteral("вторая"));
  for (int i = 0; i < 200; ++i) window.AddLogLine("строка " + std::to_string(i));
  window.AddLogLine("<b>not markup</b>");
  QScrollBar* bar = window.LogView->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(window.LogView->document()->lastBlock().text(), QStringLiteral("<b>not markup</b>"));
  window.ClearLog();
  window.AddLogLine("после очистки");
  EXPECT_EQ(window.LogView->toPlainText(), QStringLiteral("после очистки"));
}

TEST_F(LoaderWindowTest, StandInFontsAreRealFontsNotFallbacks) {
  EXPECT_EQ(window.StatusLine->font().pixelSize(), 12);
  EXPECT_EQ(window.VersionCaption->font().pixelSize(), 9);
  EXPECT_TRUE(window.VersionCaption->font().bold());
  EXPECT_TRUE(QFontInfo(window.VersionCaption->font()).fixedPitch());
  for (QWidget* control :
       {static_cast<QWidget*>(window.StatusLine), static_cast<QWidget*>(window.VersionCaption),
        static_cast<QWidget*>(window.LogView)}) {
    const QString family = QFontInfo(control->font()).family();
    EXPECT_EQ(family, control->font().family()) << control->objectName().toStdString();
  }
}

TEST_F(LoaderWindowTest, CloseButtonDuringWorkClosesOnlyAfterTheSequence) {
  bool seen_visible_after_frame19 = false;
  bool ran = false;
  window.ToggleLog();
  window.SetActivateHandler([&] {
    QTest::mouseClick(window.CloseButton, Qt::LeftButton);
    EXPECT_EQ(window.Height(), 100) << "an expanded log collapses first";
    EXPECT_FALSE(window.ProgressBar->isVisible());
    EXPECT_TRUE(window.AnimationStarted());
    window.Banner()->jumpToFrame(19);
    EXPECT_TRUE(window.CloseRequested());
    window.ProcessMessages();
    seen_visible_after_frame19 = window.isVisible();
    ran = true;
  });
  window.show();
  ASSERT_TRUE(PumpUntil(window, [&] { return ran && !window.Working(); }));
  EXPECT_TRUE(seen_visible_after_frame19);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(LoaderWindowTest, ActivationRunsTheHandlerOnce) {
  int runs = 0;
  window.SetActivateHandler([&] { ++runs; });
  window.show();
  ASSERT_TRUE(PumpUntil(window, [&] { return runs > 0; }));
  window.hide();
  window.show();
  window.activateWindow();
  window.ProcessMessages();
  EXPECT_EQ(runs, 1);
}

TEST(LoaderWindowWait, KeepOpenIgnoresFrame19UntilClosePressed) {
  LoaderWindow window;
  window.Initialise(kFullHd, true);
  window.FirstShow(kFullHd);
  window.show();
  window.StartClosingAnimation();
  window.Banner()->jumpToFrame(19);
  window.ProcessMessages();
  EXPECT_TRUE(window.isVisible());
  window.Banner()->stop();
  QTest::mouseClick(window.CloseButton, Qt::LeftButton);
  EXPECT_FALSE(window.KeepOpen());
  window.Banner()->jumpToFrame(19);
  EXPECT_FALSE(window.isVisible());
}

TEST(LoaderWindowBanner, PlayedAnimationClosesTheWindowAtFrame19) {
  LoaderWindow window;
  window.Initialise(kFullHd, false);
  window.show();
  // Each frame with whether the window was still open after the window itself handled it.
  std::vector<std::pair<int, bool>> frames;
  QObject::connect(window.Banner(), &QMovie::frameChanged,
                   [&](int f) { frames.emplace_back(f, window.isVisible()); });
  window.Banner()->setSpeed(1000);  // ten times faster; the frame sequence is what counts
  window.StartClosingAnimation();
  ASSERT_TRUE(PumpUntil(window, [&] { return !window.isVisible(); }));
  ASSERT_FALSE(frames.empty());
  for (const auto& [frame, open] : frames) EXPECT_EQ(open, frame < 19) << "frame " << frame;
  EXPECT_TRUE(std::count(frames.begin(), frames.end(), std::make_pair(19, false)));
}

// The closing animation starts on frame 0 itself: frame 19 comes 19 delays (0.95 s) after.
TEST(LoaderWindowBanner, ClosingAnimationStartsAtFrameZero) {
  LoaderWindow window;
  window.Initialise(kFullHd, true);  // keep open: the whole sequence plays
  window.show();
  std::vector<int> frames;
  QObject::connect(window.Banner(), &QMovie::frameChanged, [&](int f) { frames.push_back(f); });
  window.Banner()->setSpeed(1000);
  window.StartClosingAnimation();
  ASSERT_TRUE(PumpUntil(window, [&] { return frames.size() >= 20; }));
  std::vector<int> first_twenty(20);
  std::iota(first_twenty.begin(), first_twenty.end(), 0);
  EXPECT_EQ(std::vector<int>(frames.begin(), frames.begin() + 20), first_twenty);
}

TEST(LoaderWindowPump, WaitForMessagesWakesForAPostedEventAndBlocksOtherwise) {
  LoaderWindow window;
  bool delivered = false;
  QTimer::singleShot(0, &window, [&] { delivered = true; });
  // A long time-out: only the posted event can end this wait early.
  window.WaitForMessages(std::chrono::seconds(30));
  EXPECT_TRUE(delivered);

  int blocks = 0;
  auto* dispatcher = QAbstractEventDispatcher::instance();
  auto connection =
      QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] { ++blocks; });
  window.WaitMs(60);
  QObject::disconnect(connection);
  EXPECT_GE(blocks, 1) << "the wait sleeps on the queue";
  EXPECT_LT(blocks, 20) << "and does not spin";
}

TEST(LoaderWindowVersion, RevealCyclesEachCharacterUpFromABlank) {
  LoaderWindow window;
  window.SetVersionLabel("6.2.0.15");
  EXPECT_EQ(window.VersionCaption->Timer().interval(), 20);
  ASSERT_TRUE(window.VersionCaption->Revealing());
  const QString target = QStringLiteral("6.2.0.15");
  std::vector<QString> shown{window.VersionCaption->text()};
  while (window.VersionCaption->Revealing() && shown.size() < 1000) {
    window.VersionCaption->Step();
    shown.push_back(window.VersionCaption->text());
  }
  EXPECT_EQ(shown.front(), QStringLiteral(" "));
  EXPECT_EQ(shown.back(), target);
  int expected_steps = 0;
  for (QChar c : target) expected_steps += c.unicode() - u' ';
  EXPECT_EQ(static_cast<int>(shown.size()) - 1, expected_steps);
  for (const QString& text : shown) {
    const int settled = static_cast<int>(text.size()) - 1;
    ASSERT_GE(settled, 0);
    EXPECT_EQ(text.left(settled), target.left(settled));
    EXPECT_LE(text.back(), target.at(std::min<int>(settled, target.size() - 1)));
  }
  // Switched again mid-way: the effect stops and the whole caption stands.
  window.VersionCaption->SetRevealOn(true);
  window.SetVersionLabel("6.2.0.16");
  EXPECT_FALSE(window.VersionCaption->Revealing());
  EXPECT_EQ(window.VersionCaption->text(), QStringLiteral("6.2.0.16"));
}

TEST(LoaderWindowVersion, RevealRunsOnItsTimer) {
  LoaderWindow window;
  window.SetVersionLabel("1.0");
  ASSERT_TRUE(PumpUntil(window, [&] { return !window.VersionCaption->Revealing(); }));
  EXPECT_EQ(window.VersionCaption->text(), QStringLiteral("1.0"));
}

TEST(LoaderWindowServices, WaitCursorIsBalanced) {
  LoaderWindow window;
  window.SetWaitCursor(true);
  window.SetWaitCursor(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  window.SetWaitCursor(false);
  window.SetWaitCursor(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(LoaderWindowServices, MessageBoxShowsTheTextAndReturnsWhenClosed) {
  LoaderWindow window;
  QString seen;
  CloseNextMessageBox(seen);
  window.ShowMessageBox("Ошибка контрольной суммы <файл>");
  EXPECT_EQ(seen, QStringLiteral("Ошибка контрольной суммы <файл>"));
}

TEST(LoaderWindowServices, AnErrorBeforeTheRunIsShownInAMessageBoxAndGivesThree) {
  QString seen;
  CloseNextMessageBox(seen);
  EXPECT_EQ(RunShowingErrors([]() -> int {
              LoaderWindow window;
              throw std::runtime_error("cannot resolve the executable's path");
            }),
            3);
  EXPECT_EQ(seen, QStringLiteral("cannot resolve the executable's path"));
  EXPECT_EQ(RunShowingErrors([] { return 2; }), 2) << "a run's own status passes through";
}

}  // namespace
}  // namespace nurv::qtui
