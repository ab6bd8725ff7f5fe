#pragma once
// Real archives made by the 7z command, extracted through the system's 7-Zip library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/temp_dir.h"

namespace nurv::testing {

inline const std::string kSystemSevenZip = "/usr/lib/p7zip/7z.so";

// Whether the real library and the 7z command that makes the test archives are at hand. The
// Windows build's tests run under Wine, which has neither 7-Zip's 7za.dll (no Windows build of it
// is packaged) nor a POSIX shell to run the command in.
inline bool HaveSevenZip() {
#ifdef _WIN32
  return false;
#else
  static const bool present =
      std::filesystem::exists(kSystemSevenZip) && std::system("command -v 7z >/dev/null 2>&1") == 0;
  return present;
#endif
}

inline std::string SevenZipNeeds() {
#ifdef _WIN32
  return "7-Zip's 7za.dll and a POSIX shell with the 7z command, which the Windows test run has "
         "not";
#else
  return kSystemSevenZip + " and the 7z command (Debian package p7zip-full)";
#endif
}

#define NURV_REQUIRE_SEVENZIP() \
  if (!::nurv::testing::HaveSevenZip()) GTEST_SKIP() << "needs " << ::nurv::testing::SevenZipNeeds()

// Runs `7z <args>` inside `folder`; true when it succeeded.
inline bool Run7z(const std::string& folder, const std::string& args) {
  const std::string command =
      "cd '" + folder + "' && LC_ALL=C.UTF-8 7z " + args + " -bd >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// `relative` below `folder` with `bytes`, parents created.
inline std::string PutFile(const std::string& folder, const std::string& relative,
                           const std::string& bytes) {
  const std::filesystem::path path = std::filesystem::path(folder) / relative;
  std::filesystem::create_directories(path.parent_path());
  WriteFile(path.string(), bytes);
  return path.string();
}

}  // namespace nurv::testing
