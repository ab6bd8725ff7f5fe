// A pseudo-terminal is POSIX's: not built for Windows.
#ifndef _WIN32
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e_fixture.h"

namespace nurv::testing {
namespace {

// On a terminal the chooser is a numbered menu and /wait waits for Enter: the CLI runs with a
// pseudo-terminal as its input, whose answers are typed in advance.
TEST_F(CliTest, TerminalChooserMenuAndWaitForEnter) {
  fs::create_directories(complex_.Path("config/nurv"));
  WriteFile(complex_.RegistryFile(),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\r\n\r\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\DataBaseCaptions]\r\n"
            "\"DataBaseCaption1\"=\"Чужая\"\r\n\"DataBaseCaption51\"=\"Демо база\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\DataBaseNames]\r\n"
            "\"DataBaseName1\"=\"x\"\r\n\"DataBaseName51\"=\"DEMO\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames]\r\n"
            "\"ServerName1\"=\"other-server\"\r\n\"ServerName51\"=\"" +
                Server() + "\"\r\n");
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  // A number out of range is asked again; then connection 2; then Enter closes the /wait.
  const std::string typed = "9\n2\n\n";
  ASSERT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));

  const std::string program = complex_.Bin() + "nurvloader-cli";
  const std::string out_path = complex_.Path("cli.out");
  const std::string err_path = complex_.Path("cli.err");
  const char* argv[] = {program.c_str(), "/wait", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, slave, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addclose(&actions, master);
  pid_t pid = 0;
  ASSERT_EQ(
      posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(slave);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  close(master);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const Lines out = SplitLines(ReadFile(out_path));
  const std::string err = ReadFile(err_path);
  EXPECT_TRUE(Contains(out, "Соединение с сервером: [" + Server() + "], БД: [demo] - OK"))
      << Joined(out);
  EXPECT_NE(err.find("1. Чужая"), std::string::npos) << err;
  EXPECT_NE(err.find("2. Демо база"), std::string::npos) << err;
  EXPECT_NE(err.find("Нет подключения с таким номером"), std::string::npos) << err;
  EXPECT_NE(err.find("Enter"), std::string::npos) << err;
  const Lines launched = AwaitLaunch(CliRun{0, out, err});
  ASSERT_GE(launched.size(), 3u);
  EXPECT_EQ(launched[2], "/wait");
}

}  // namespace
}  // namespace nurv::testing

#endif  // _WIN32
