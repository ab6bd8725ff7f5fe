#pragma once
// Real archives made by the 7z command, extracted through the system's 7-Zip library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/temp_dir.h"
#include "base/utf8.h"

namespace nurv::testing {

#ifdef _WIN32
// 7-Zip's library and console program built for Windows (scripts/build-7zip-windows.sh); the
// folder is made absolute while the tests still run on the build tree's drive.
inline const std::string kSevenZipFolder =
    std::filesystem::absolute(NURV_TEST_SEVENZIP_DIR).make_preferred().string();
inline const std::string kSystemSevenZip = kSevenZipFolder + "\\7za.dll";
#else
inline const std::string kSystemSevenZip = "/usr/lib/p7zip/7z.so";
#endif

// Whether the real library and the 7z command that makes the test archives are at hand.
inline bool HaveSevenZip() {
#ifdef _WIN32
  static const bool present = std::filesystem::exists(kSystemSevenZip) &&
                              std::filesystem::exists(kSevenZipFolder + "\\7z.exe");
#else
  static const bool present =
      std::filesystem::exists(kSystemSevenZip) && std::system("command -v 7z >/dev/null 2>&1") == 0;
#endif
  return present;
}

inline std::string SevenZipNeeds() {
#ifdef _WIN32
  return "7za.dll and 7z.exe in " + kSevenZipFolder + " (scripts/build-7zip-windows.sh)";
#else
  return kSystemSevenZip + " and the 7z command (Debian package p7zip-full)";
#endif
}

#define NURV_REQUIRE_SEVENZIP() \
  if (!::nurv::testing::HaveSevenZip()) GTEST_SKIP() << "needs " << ::nurv::testing::SevenZipNeeds()

// `text` as one argument of the command line Run7z hands to the platform's shell.
inline std::string ShellArg(const std::string& text) {
#ifdef _WIN32
  return "\"" + text + "\"";
#else
  return "'" + text + "'";
#endif
}

// Runs `7z <args>` inside `folder`; true when it succeeded.
inline bool Run7z(const std::string& folder, const std::string& args) {
#ifdef _WIN32
  // Through the wide entry point, so that names beyond the ANSI code page reach 7z.exe intact.
  const std::string command = "cd /d " + ShellArg(folder) + " && " +
                              ShellArg(kSevenZipFolder + "\\7z.exe") + " " + args +
                              " -bd >NUL 2>&1";
  return _wsystem(Utf8ToUtf16<wchar_t>(command).c_str()) == 0;
#else
  const std::string command =
      "cd " + ShellArg(folder) + " && LC_ALL=C.UTF-8 7z " + args + " -bd >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
#endif
}

// `relative` below `folder` with `bytes`, parents created.
inline std::string PutFile(const std::string& folder, const std::string& relative,
                           const std::string& bytes) {
  const std::filesystem::path path = Utf8Path(folder) / Utf8Path(relative);
  std::filesystem::create_directories(path.parent_path());
  WriteFile(Utf8Text(path), bytes);
  return Utf8Text(path);
}

}  // namespace nurv::testing
