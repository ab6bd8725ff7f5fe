// The POSIX stand-ins; Windows has its own tests (*_win32_test.cpp).
#ifndef _WIN32
#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/temp_dir.h"
#include "platform/posix/command_line.h"

namespace nurv::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using Args = std::vector<std::string>;

TEST(SplitWindowsCommandLine, ProgramNameHasNoEscapes) {
  EXPECT_EQ(SplitWindowsCommandLine(R"(C:\a\nurv.exe /loader)"),
            (Args{R"(C:\a\nurv.exe)", "/loader"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"("C:\Program Files\x\" next)"),
            (Args{R"(C:\Program Files\x\)", "next"}));
  // Outside quotes a quote is an ordinary character of the program name.
  EXPECT_EQ(SplitWindowsCommandLine(R"(a"b c)"), (Args{R"(a"b)", "c"}));
  EXPECT_EQ(SplitWindowsCommandLine("  \tprog\t x  "), (Args{"prog", "x"}));
}

TEST(SplitWindowsCommandLine, BackslashesAndQuotesInArguments) {
  EXPECT_EQ(SplitWindowsCommandLine(R"(p a\\\"b)"), (Args{"p", R"(a\"b)"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p "a\\" b)"), (Args{"p", R"(a\)", "b"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p a\\b\c)"), (Args{"p", R"(a\\b\c)"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p "a b"c d)"), (Args{"p", "a bc", "d"}));
  // "" inside quotes is a literal quote and ends the quoted part.
  EXPECT_EQ(SplitWindowsCommandLine(R"(p "a""b c")"), (Args{"p", R"(a"b)", "c"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p "" x)"), (Args{"p", "", "x"}));
  EXPECT_EQ(SplitWindowsCommandLine("p -caption=Моя база"), (Args{"p", "-caption=Моя", "база"}));
}

TEST(SplitWindowsCommandLine, MalformedLines) {
  EXPECT_TRUE(SplitWindowsCommandLine("").empty());
  EXPECT_TRUE(SplitWindowsCommandLine("   \t ").empty());
  // Unterminated quotes run to the end of the line.
  EXPECT_EQ(SplitWindowsCommandLine(R"("unterminated prog)"), (Args{"unterminated prog"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p "a b)"), (Args{"p", "a b"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p \)"), (Args{"p", R"(\)"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p \\\)"), (Args{"p", R"(\\\)"}));
  EXPECT_EQ(SplitWindowsCommandLine(R"(p ")"), (Args{"p", ""}));
  EXPECT_EQ(SplitWindowsCommandLine(std::string("p a\0b", 5)), (Args{"p", std::string("a\0b", 3)}));
}

// Waits (without a time assertion) until `path` exists; false after a generous limit.
bool AwaitFile(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    if (std::filesystem::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A child that has exited but was not collected is still waitable; WNOWAIT only looks.
bool ZombieLeft() {
  for (int i = 0; i < 1000; ++i) {
    siginfo_t info{};
    const int rc = waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT);
    if (rc != 0 || info.si_pid == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class StartProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script_ = dir_.Sub("recorder");
    WriteFile(script_,
              "#!/bin/sh\n"
              "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$0.tmp\"\n"
              "mv \"$0.tmp\" \"$0.out\"\n");
    chmod(script_.c_str(), 0755);
  }
  TempDir dir_;
  std::string script_;
};

TEST_F(StartProgramTest, StartsWithoutWaitingAndPassesSplitArguments) {
  const int result = StartProgram(script_ + R"( /loader /db "-caption=Моя база" a\"b)");
  EXPECT_EQ(result, 33);
  ASSERT_TRUE(AwaitFile(script_ + ".out"));
  EXPECT_EQ(ReadFile(script_ + ".out"), "[/loader]\n[/db]\n[-caption=Моя база]\n[a\"b]\n");
  EXPECT_FALSE(ZombieLeft());
}

TEST_F(StartProgramTest, FailuresGiveWinExecCodes) {
  EXPECT_EQ(StartProgram(dir_.Sub("missing.exe") + " /loader"), 2);
  EXPECT_EQ(StartProgram(dir_.Sub("no/such/folder/nurv.exe")), 3);
  EXPECT_EQ(StartProgram(""), 2);
  EXPECT_EQ(StartProgram("   "), 2);

  const std::string plain = dir_.Sub("plain.exe");
  WriteFile(plain, "#!/bin/sh\nexit 0\n");
  chmod(plain.c_str(), 0644);
  EXPECT_EQ(StartProgram(plain), 5);
  EXPECT_EQ(StartProgram(dir_.path()), 5);

  const std::string garbage = dir_.Sub("garbage.exe");
  WriteFile(garbage, std::string("MZ\x90\0\x03\0\0\0garbage", 15));
  chmod(garbage.c_str(), 0755);
  EXPECT_EQ(StartProgram(garbage), 11);
  EXPECT_FALSE(ZombieLeft());
}

TEST_F(StartProgramTest, UnquotedPathWithBlanksIsFoundAsCreateProcessFindsIt) {
  std::filesystem::create_directories(dir_.Sub("my folder/sub  dir"));
  const std::string program = dir_.Sub("my folder/sub  dir/recorder");
  std::filesystem::copy_file(script_, program);
  // "<dir>/my" and "<dir>/my folder/sub" name nothing; the longer prefix is the program.
  EXPECT_EQ(StartProgram(program + " /loader -caption=Моя база \"a b\""), 33);
  ASSERT_TRUE(AwaitFile(program + ".out"));
  EXPECT_EQ(ReadFile(program + ".out"), "[/loader]\n[-caption=Моя]\n[база]\n[a b]\n");
  // Quoted, the path is taken as it stands.
  std::filesystem::remove(program + ".out");
  EXPECT_EQ(StartProgram("\"" + program + "\" x"), 33);
  ASSERT_TRUE(AwaitFile(program + ".out"));

  // A shorter prefix that names a file wins, as it does on Windows.
  WriteFile(dir_.Sub("my"), "#!/bin/sh\nexit 0\n");
  chmod(dir_.Sub("my").c_str(), 0644);
  EXPECT_EQ(StartProgram(program), 5);
  std::filesystem::remove(dir_.Sub("my"));
  // Nothing found: the first part is reported as WinExec reports it.
  EXPECT_EQ(StartProgram(dir_.Sub("my folder/missing.exe /loader")), 2);
  EXPECT_FALSE(ZombieLeft());
}

TEST(CommandLineArguments, DropsTheProgramName) {
  char prog[] = "nurvloader-cli";
  char a1[] = "/DB";
  char a2[] = "x y";
  char* argv[] = {prog, a1, a2, nullptr};
  EXPECT_EQ(CommandLineArguments(3, argv), (Args{"/DB", "x y"}));
  EXPECT_TRUE(CommandLineArguments(1, argv).empty());
}

}  // namespace
}  // namespace nurv::platform
#endif  // _WIN32
