// NurvLoader: the loader with its window on Linux.
#include <QApplication>
#include <string>
#include <vector>

#include "loader/loader_app.h"
#include "loader_window.h"
#include "message_box.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  // Taken before QApplication removes its own options: every argument is forwarded as typed.
  std::vector<std::string> args = nurv::platform::CommandLineArguments(argc, argv);
  QApplication app(argc, argv);
  // The task bar's title; the window's own caption stays invisible without a border.
  QApplication::setApplicationDisplayName(QStringLiteral("Загрузчик НУРВ"));
  return nurv::qtui::RunShowingErrors([&args] {
    nurv::qtui::LoaderWindow window;
    nurv::LoaderApp loader(window, std::move(args));
    const nurv::ScreenGeometry screen = nurv::qtui::LoaderWindow::CurrentScreenGeometry();
    loader.Initialise(screen);
    window.FirstShow(screen);
    window.show();
    QApplication::exec();
    return loader.ExitStatus();
  });
}
