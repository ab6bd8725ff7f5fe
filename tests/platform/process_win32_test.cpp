// Starting programs and profile files against the real Windows API.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include "common/temp_dir.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// A quoted path; built by appending (g++ 12 reports a false overlap for "\"" + text at -O3).
std::string Quoted(const std::string& path) {
  std::string quoted(1, '"');
  quoted.append(path).push_back('"');
  return quoted;
}

// Polls for a file that a started program creates; the program runs on its own.
bool AppearsWithin(const std::string& path, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (FileExists(path) || DirectoryExists(path)) return true;
    Sleep(50);
  }
  return false;
}

TEST(WinStartProgram, StartsWithoutWaitingAndKeepsUnicode) {
  TempDir dir;
  const std::string made = dir.Sub("Папка №1");
  const std::string cmd = SystemFolder() + "\\cmd.exe";
  EXPECT_GT(StartProgram(Quoted(cmd) + " /c mkdir " + Quoted(made)), 31);
  EXPECT_TRUE(AppearsWithin(made, 30));
}

TEST(WinStartProgram, FailuresGiveWinExecCodes) {
  TempDir dir;
  EXPECT_EQ(StartProgram(Quoted(dir.Sub("absent.exe")) + " /loader"), 2);
  // Windows answers 3 for a missing folder; Wine answers 2.
  const int missing_folder = StartProgram(Quoted(dir.Sub("no\\such\\folder\\nurv.exe")));
  EXPECT_TRUE(missing_folder == 3 || missing_folder == 2) << missing_folder;
  WriteFile(dir.Sub("text.exe"), "this is not a program\r\n");
  EXPECT_EQ(StartProgram(Quoted(dir.Sub("text.exe"))), 11);
  EXPECT_EQ(StartProgram(""), 2);
}

// Windows reads a profile file without a byte-order mark in its ANSI code page; the loader's
// nurv.ini is read as UTF-8, or Windows-1251 when it is not valid UTF-8, on every machine.
TEST(WinProfile, EncodingsOfTheFile) {
  TempDir dir;
  const std::string ini = dir.Sub("nurv.ini");
  WriteFile(ini, "[ConfigUser51]\r\nCaption=Учёт №1\r\n");
  EXPECT_EQ(ReadProfileString(ini, "ConfigUser51", "Caption", ""), "Учёт №1");
  WriteFile(ini, "[ConfigUser51]\r\nCaption=\xD3\xF7\xB8\xF2 \xB9\x31\r\n");
  EXPECT_EQ(ReadProfileString(ini, "configuser51", "CAPTION", ""), "Учёт №1");
  const std::wstring utf16 = L"\xFEFF[ConfigUser51]\r\nServer=Сервер\r\n";
  WriteFile(ini, std::string(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2));
  EXPECT_EQ(ReadProfileString(ini, "ConfigUser51", "Server", ""), "Сервер");
  // The file is left as it was, and no copy is left in the temporary folder.
  EXPECT_EQ(ReadFile(ini).size(), utf16.size() * 2);
  WriteFile(ini, "[ConfigUser51]\r\nServer=srv\r\n");
  EXPECT_EQ(ReadProfileString(ini, "ConfigUser51", "", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileString(ini, "", "Server", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileString(dir.Sub("absent.ini"), "ConfigUser51", "Server", "dflt"), "dflt");
}

}  // namespace
}  // namespace nurv::platform
#endif  // _WIN32
