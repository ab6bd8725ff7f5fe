// The whole front end: the main sequence runs inside the window's first activation, the chooser
// is shown modally from within it, and the end of the run leaves the window as it should.
#include <gtest/gtest.h>
#include <QApplication>
#include <QTextBlock>
#include <QTimer>

#include "chooser_dialog.h"
#include "common/complex_fixture.h"
#include "loader/loader_app.h"
#include "loader_window.h"
#include "platform/posix/reg_file_registry.h"

namespace nurv::qtui {
namespace {

const ScreenGeometry kScreen{1920, 1080, 1920, 1080};

// Shows the window, whose first activation runs the sequence, and processes messages until the
// sequence has finished.
void ShowAndAwaitTheRun(LoaderWindow& window, LoaderApp& app) {
  window.show();
  for (int i = 0; i < 2000 && !app.SequenceFinished(); ++i) {
    window.WaitForMessages(std::chrono::milliseconds(20));
  }
}

TEST(LoaderRun, CancelledChooserLeavesTheLogOpenUntilClosePressed) {
  testing::ComplexOnDisk dir;  // the user's folders inside the test's folder
  LoaderEnvironment env;
  env.executable_path = dir.Path("NurvLoader");  // no nurv.ini and no registry: an empty list
  env.os_product_name = "Debian GNU/Linux 12 (bookworm)";
  env.open_registry = [&] { return platform::OpenRegistryFile(dir.Path("registry.reg")); };
  int starts = 0;
  env.start_program = [&](const std::string&) { return ++starts, 33; };

  LoaderWindow window;
  LoaderApp app(window, {}, env);
  app.Initialise(kScreen);
  window.FirstShow(kScreen);

  // The chooser opens in edit mode on an empty list; the user closes it by its close box.
  int dialogs = 0;
  bool edit_mode = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<ChooserDialog*>(top); dialog && dialog->isVisible()) {
        ++dialogs;
        edit_mode = dialog->SaveButton->isVisible();
        dialog->close();
      }
    }
  });
  closer.start(10);
  ShowAndAwaitTheRun(window, app);
  ASSERT_TRUE(app.SequenceFinished());
  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(edit_mode);
  EXPECT_EQ(app.ExitStatus(), 1);
  EXPECT_EQ(starts, 0);
  EXPECT_EQ(window.VersionCaption->Timer().interval(), 20);
  // An error with a collapsed log: the log opens and the window waits.
  EXPECT_EQ(window.height(), 500);
  EXPECT_EQ(window.y(), 165);
  EXPECT_TRUE(window.ProgressBar->isVisible());
  EXPECT_FALSE(window.AnimationStarted());
  EXPECT_EQ(window.LogView->document()->lastBlock().text(),
            QStringLiteral("****************************************************************"));
  EXPECT_EQ(window.StatusLine->text(), QStringLiteral("Обнаружены ошибки инициализации:"));
  EXPECT_TRUE(window.isVisible());

  window.CloseButton->click();
  EXPECT_EQ(window.height(), 100);
  window.Banner()->setSpeed(1000);
  for (int i = 0; i < 2000 && window.isVisible(); ++i) {
    window.WaitForMessages(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(window.isVisible());
}

TEST(LoaderRun, MainProgramThatCannotBeStartedKeepsTheWindowOpen) {
  testing::ComplexOnDisk complex;  // its program folder holds no nurv.exe
  testing::CreateUpdateDatabase(complex.Db(), {});
  complex.WriteRegistryForDb();
  LoaderEnvironment env;
  env.executable_path = complex.Bin() + "NurvLoader";
  env.os_product_name = "Debian GNU/Linux 12 (bookworm)";

  LoaderWindow window;
  LoaderApp app(window, {"/notupdate"}, env);
  app.Initialise(kScreen);
  window.FirstShow(kScreen);
  ShowAndAwaitTheRun(window, app);
  ASSERT_TRUE(app.SequenceFinished());
  EXPECT_EQ(app.ExitStatus(), 4);
  EXPECT_EQ(window.height(), 500);
  EXPECT_FALSE(window.AnimationStarted());
  EXPECT_EQ(window.StatusLine->text(), QStringLiteral("Не удалось запустить НУРВ-Комплекс:"));
  EXPECT_TRUE(window.isVisible());
}

}  // namespace
}  // namespace nurv::qtui
