#include "loader/loader_ui.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/fake_ui.h"

namespace nurv {
namespace {

using testing::FakeUi;

constexpr ScreenGeometry kFullHd{1920, 1080, 1920, 1080};

TEST(LoaderUiPlacement, FullHdScreenFigures) {
  FakeUi ui;
  ui.Initialise(kFullHd, false);
  EXPECT_EQ(ui.Left(), 705);  // round(960 - 255)
  EXPECT_EQ(ui.Top(), 365);
  ui.FirstShow(kFullHd);
  EXPECT_EQ(ui.Left(), 709);
  EXPECT_EQ(ui.Top(), 490);
  ui.ToggleLog();
  EXPECT_EQ(ui.Height(), 500);
  EXPECT_EQ(ui.Top(), 165);
  EXPECT_EQ(ui.Left(), 709) << "only the top moves after the first appearance";
  ui.ToggleLog();
  EXPECT_EQ(ui.Height(), 100);
  EXPECT_EQ(ui.Top(), 365);
}

TEST(LoaderUiPlacement, MonitorWidthsAndBankersRounding) {
  FakeUi ui;
  ui.Initialise({1280, 1024, 1280, 1024}, false);
  EXPECT_EQ(ui.Left(), 385);
  ui.Initialise({1366, 768, 1366, 768}, false);
  EXPECT_EQ(ui.Left(), 428);
  // 1367 / 2 - 255 = 428.5: halves go to the even neighbour.
  ui.Initialise({1367, 768, 1367, 768}, false);
  EXPECT_EQ(ui.Left(), 428);
  ui.Initialise({1369, 768, 1369, 768}, false);
  EXPECT_EQ(ui.Left(), 430);
  // Odd desktop height: 1081 / 2 = 540.5 rounds to 540.
  EXPECT_EQ(LoaderUi::PlacementTop(1081, 100), 365);
  EXPECT_EQ(LoaderUi::PlacementTop(1083, 100), 367);
}

TEST(LoaderUiLog, CrLfSplitsIntoLinesAndEmptyTextAddsEmptyLine) {
  FakeUi ui;
  ui.AddLogLine("--> ОШИБКА! Нет прав на обновление...\r\npermission denied");
  ui.AddLogLine("");
  ui.AddLogLine("one\r\ntwo\r\n");
  ASSERT_EQ(ui.Log().size(), 6u);
  EXPECT_EQ(ui.Log()[0], "--> ОШИБКА! Нет прав на обновление...");
  EXPECT_EQ(ui.Log()[1], "permission denied");
  EXPECT_EQ(ui.Log()[2], "");
  EXPECT_EQ(ui.Log()[3], "one");
  EXPECT_EQ(ui.Log()[4], "two");
  EXPECT_EQ(ui.Log()[5], "");
  ui.ClearLog();
  EXPECT_TRUE(ui.Log().empty());
}

TEST(LoaderUiStatusAndProgress, PumpMessagesAndClampAtFourteen) {
  FakeUi ui;
  ui.Initialise(kFullHd, false);
  ui.ShowStatus("Инициализация...");
  EXPECT_EQ(ui.Status(), "Инициализация...");
  EXPECT_EQ(ui.processed, 1);
  for (int i = 0; i < 20; ++i) ui.StepProgress();
  EXPECT_EQ(ui.ProgressPosition(), 14);
  EXPECT_EQ(ui.processed, 21);
  EXPECT_TRUE(ui.Log().empty()) << "status and progress add nothing to the log";
}

TEST(LoaderUiToggle, PicturesFollowHeight) {
  FakeUi ui;
  ui.Initialise(kFullHd, false);
  EXPECT_EQ(ui.LogButtonPicture(), 0);
  ui.ToggleLog();
  EXPECT_EQ(ui.LogButtonPicture(), 1);
  ui.ToggleLog();
  EXPECT_EQ(ui.LogButtonPicture(), 0);
}

TEST(LoaderUiClosing, CloseButtonCollapsesHidesBarAndStartsAnimation) {
  FakeUi ui;
  ui.Initialise(kFullHd, true);
  ui.ToggleLog();
  ui.PressClose();
  EXPECT_FALSE(ui.KeepOpen());
  EXPECT_FALSE(ui.ProgressVisible());
  EXPECT_EQ(ui.Height(), 100);
  EXPECT_EQ(ui.animations, 1);
  ui.OnBannerFrame(18);
  EXPECT_EQ(ui.close_requests, 0);
  ui.OnBannerFrame(19);
  EXPECT_EQ(ui.close_requests, 1);
  ui.OnBannerFrame(19);
  EXPECT_EQ(ui.close_requests, 1) << "one close request is enough";
}

TEST(LoaderUiClosing, KeepOpenFlagHoldsTheWindowAtFrame19) {
  FakeUi ui;
  ui.Initialise(kFullHd, true);
  ui.StartClosingAnimation();
  for (int frame = 0; frame < 25; ++frame) ui.OnBannerFrame(frame);
  EXPECT_EQ(ui.close_requests, 0);
  EXPECT_FALSE(ui.CloseRequested());
}

TEST(LoaderUiActivation, FirstActivationRunsOnceAndACloseWaitsForItsEnd) {
  FakeUi ui;
  ui.Initialise(kFullHd, false);
  int runs = 0;
  ui.SetActivateHandler([&] {
    ++runs;
    ui.Activate();  // the chooser closing activates the window again
    ui.StartClosingAnimation();
    ui.OnBannerFrame(19);
    EXPECT_TRUE(ui.CloseRequested());
    EXPECT_EQ(ui.close_requests, 0) << "the window stays while the run works";
  });
  ui.Activate();
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(ui.Working());
  EXPECT_EQ(ui.close_requests, 1) << "and closes when it has returned";
  ui.Activate();
  EXPECT_EQ(runs, 1);
}

TEST(LoaderUiVersionLabel, EachSettingTogglesTheReveal) {
  FakeUi ui;
  EXPECT_EQ(ui.VersionLabel(), "00.00.00.00");
  ui.SetVersionLabel("6.2.0.15");
  EXPECT_EQ(ui.VersionLabel(), "6.2.0.15");
  EXPECT_TRUE(ui.VersionRevealOn());
  ui.SetVersionLabel("6.2.0.15");
  EXPECT_FALSE(ui.VersionRevealOn());
}

TEST(UiServicesWait, NonPositiveReturnsAtOnceWithoutPumping) {
  struct CountingUi : FakeUi {
    bool WaitMs(std::int32_t ms) override { return UiServices::WaitMs(ms); }
    void WaitForMessages(std::chrono::milliseconds timeout) override {
      blocked.push_back(timeout);
      std::this_thread::sleep_for(timeout);
    }
    std::vector<std::chrono::milliseconds> blocked;
  } ui;
  EXPECT_TRUE(ui.WaitMs(0));
  EXPECT_TRUE(ui.WaitMs(-5));
  EXPECT_EQ(ui.processed, 0);
  EXPECT_TRUE(ui.WaitMs(30));
  EXPECT_GE(ui.processed, 2) << "messages are processed before blocking and after waking";
  ASSERT_FALSE(ui.blocked.empty());
  EXPECT_LE(ui.blocked.front().count(), 30) << "blocks for the remaining time, no spinning";
}

}  // namespace
}  // namespace nurv
