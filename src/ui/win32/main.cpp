// NurvLoader.exe: the loader's window on Windows.
#include <windows.h>

#include <exception>

#include "loader/loader_app.h"
#include "loader_window.h"
#include "message_box.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  try {
    nurv::winui::LoaderWindow window(GetModuleHandleW(nullptr));
    nurv::LoaderApp app(window, nurv::platform::CommandLineArguments(argc, argv));
    const nurv::ScreenGeometry screen = nurv::winui::LoaderWindow::CurrentScreenGeometry();
    app.Initialise(screen);
    window.FirstShow(screen);
    window.Show();
    window.RunMessageLoop();
    return app.ExitStatus();
  } catch (const std::exception& error) {
    nurv::winui::ShowLoaderMessage(nullptr, error.what(), MB_ICONERROR);
    return 3;
  }
}
