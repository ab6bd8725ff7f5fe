// nurvloader-cli: one run of the loader without a window, for scripts and scheduled tasks.
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <utility>

#include "console_ui.h"
#include "loader/loader_app.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  // A reader of the log that goes away must not kill the run half-way.
#ifdef SIGPIPE  // Windows has no such signal
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const bool interactive = isatty(STDIN_FILENO) == 1;
  nurv::console::ConsoleUi ui(stdout, stderr, stdin, interactive);
  try {
    // A scheduled run has nobody to close it while another loader keeps the complex (a window
    // left at its chooser): it gives up after two minutes.
    nurv::LoaderEnvironment environment;
    environment.run_lock_wait = std::chrono::minutes(2);
    nurv::LoaderApp app(ui, nurv::platform::CommandLineArguments(argc, argv),
                        std::move(environment));
    const nurv::ScreenGeometry screen{};
    app.Initialise(screen);
    ui.FirstShow(screen);
    ui.Activate();
    // /wait keeps the window open until "Закрыть"; a console has Enter for it, on a terminal.
    if (ui.KeepOpen() && interactive) {
      ui.WaitForEnter("Нажмите Enter, чтобы закрыть загрузчик...");
      ui.PressClose();
    }
    return app.ExitStatus();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 3;
  }
}
