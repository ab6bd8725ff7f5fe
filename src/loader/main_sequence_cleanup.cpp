// The main sequence: removal of what the browser libraries of version 5 left in the program
// folder, for a loader of file version 6.
#include <array>
#include <exception>

#include "base/text_utils.h"
#include "loader/loader_app.h"
#include "platform/files.h"
#include "platform/recycle_bin.h"
#include "support/file_utils.h"

namespace nurv {

namespace {

constexpr std::array<const char*, 9> kOldBrowserFiles{
    "cef.pak",
    "cef_extensions.pak",
    "d3dcompiler_43.dll",
    "devtools_resources.pak",
    "natives_blob.bin",
    "widevinecdmadapter.dll",
    "wow_helper.exe",
    "cef_100_percent.pak",
    "cef_200_percent.pak",
};

}  // namespace

void LoaderApp::RemoveOldBrowserFiles() {
  const std::string& folder = state_.LoaderSettings.PathProgram;
  try {
    // Without a program folder the names below would be taken relative to the working folder.
    if (state_.IsWindowsXP || folder.empty()) return;
    if (!platform::FileExists(folder + "natives_blob.bin") &&
        !platform::FileExists(folder + "cef_100_percent.pak")) {
      return;
    }
    if (state_.OwnFileVersion.major != 6) return;

    ui_.AddLogLine("");
    ui_.AddLogLine("Удаление библиотек браузера версии 5.Х ...");
    // Whether the folder reached the recycle bin is not looked at.
    platform::MoveToRecycleBin(folder + "CEF");
    for (const char* name : kOldBrowserFiles) {
      const std::string path = folder + name;
      if (platform::FileExists(path) && !ForceDeleteFile(path)) {
        ui_.AddLogLine("--> ОШИБКА удаления файла: [" + EscapeControlBytes(path) + "]");
      }
    }
  } catch (const std::exception& error) {
    // Ends this step only; the run goes on and the error counts as nothing.
    ui_.AddLogLine("--> ОШИБКА удаления библиотек браузера: [" +
                   EscapeControlBytesKeepingLineBreaks(error.what()) + "]");
  }
}

}  // namespace nurv
