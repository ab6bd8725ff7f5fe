// Appends to the user's log file by several processes at once.
#ifndef _WIN32
#include "platform/log_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace nurv::testing {
namespace {

TEST(AppendToLogFile, WritersInSeveralProcessesKeepEveryLineWholeAcrossRotations) {
  TempDir dir;
  const std::string path = dir.Sub("logs/loader.log");
  // Small enough to rotate while the writers run, large enough that no line is dropped.
  const platform::LogRotation rotation{128 * 1024, 3};
  constexpr int kWriters = 3;
  constexpr int kLines = 1500;
  const std::string padding(90, '.');
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < kLines && ok; ++i) {
        const std::string line = std::to_string(w) + " " + std::to_string(i) + " " + padding;
        ok = platform::AppendToLogFile(path, {line}, rotation, std::chrono::seconds(30));
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  // Oldest first: each writer's lines appear whole, each once, in the order written.
  std::map<int, int> next;
  for (const std::string& name : {path + ".3", path + ".2", path + ".1", path}) {
    std::istringstream in(ReadFile(name));
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      int writer = -1;
      int number = -1;
      std::string rest;
      fields >> writer >> number >> rest;
      ASSERT_EQ(line, std::to_string(writer) + " " + std::to_string(number) + " " + padding)
          << "in " << name;
      ASSERT_EQ(number, next[writer]++) << "writer " << writer << " in " << name;
    }
  }
  for (int w = 0; w < kWriters; ++w) EXPECT_EQ(next[w], kLines) << "writer " << w;
  EXPECT_FALSE(ReadFile(path + ".1").empty()) << "never rotated";
}

}  // namespace
}  // namespace nurv::testing
#endif
