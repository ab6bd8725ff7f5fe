// The tool programs run as a user runs them: from a working folder of their own, with the
// command lines a user types.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"

extern char** environ;

namespace nurv::testing {
namespace {

namespace fs = std::filesystem;

struct Tool {
  std::string name;
  std::string path;
};

// The tools this build has.
std::vector<Tool> BuiltTools() {
  std::vector<Tool> tools;
#ifdef NURV_TOOL_SCREENSHOTS
  tools.push_back({"nurv-screenshots", NURV_TOOL_SCREENSHOTS});
#endif
#ifdef NURV_TOOL_DEMO_SETUP
  tools.push_back({"nurv-demo-setup", NURV_TOOL_DEMO_SETUP});
#endif
#ifdef NURV_TOOL_BENCH
  tools.push_back({"nurv_bench", NURV_TOOL_BENCH});
#endif
  return tools;
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `program` with `args` in the working folder `folder`, which also takes its output.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& folder) {
  const std::string out_path = folder + "/../tool.out";
  const std::string err_path = folder + "/../tool.err";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  Outcome outcome;
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return outcome;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  outcome.out = ReadFile(out_path);
  outcome.err = ReadFile(err_path);
  return outcome;
}

// A working folder of its own for each run, inside a folder that also takes the run's output.
class ToolProgramsTest : public ::testing::Test {
 protected:
  Outcome RunTool(const Tool& tool, const std::vector<std::string>& args) {
    fs::remove_all(Work());
    fs::create_directories(Work());
    return RunProgram(tool.path, args, Work());
  }
  std::string Work() const { return dir_.Sub("work"); }
  bool WorkIsEmpty() const { return fs::is_empty(Work()); }

  TempDir dir_;
};

TEST_F(ToolProgramsTest, HelpPrintsTheUsageAndMakesNothing) {
  ASSERT_FALSE(BuiltTools().empty());
  for (const Tool& tool : BuiltTools()) {
    for (const char* help : {"--help", "-h"}) {
      const Outcome run = RunTool(tool, {help});
      EXPECT_EQ(run.status, 0) << tool.name << " " << help << "\n" << run.err;
      EXPECT_EQ(run.out.rfind("Usage: " + tool.name + " ", 0), 0u) << run.out;
      EXPECT_EQ(run.err, "") << tool.name;
      EXPECT_TRUE(WorkIsEmpty()) << tool.name << " " << help << " made something";
    }
  }
}

TEST_F(ToolProgramsTest, UnknownOptionsAndStrayOperandsAreUsageErrors) {
  for (const Tool& tool : BuiltTools()) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus"}, {"-x", "a", "b"}, {"a", "b", "c"}}) {
      const Outcome run = RunTool(tool, args);
      EXPECT_EQ(run.status, 2) << tool.name << " " << args[0] << "\n" << run.err;
      EXPECT_EQ(run.out, "") << tool.name;
      EXPECT_NE(run.err.find("Usage: " + tool.name + " "), std::string::npos) << run.err;
      EXPECT_TRUE(WorkIsEmpty()) << tool.name << " " << args[0] << " made something";
    }
  }
  for (const Tool& tool : BuiltTools()) {
    if (tool.name != "nurv-screenshots") continue;
    // An operand after "--" may begin with "-": a folder of that name is made.
    EXPECT_EQ(RunTool(tool, {"--", "-pictures"}).status, 0);
    EXPECT_TRUE(fs::exists(Work() + "/-pictures/window.png"));
  }
}

#ifdef NURV_TOOL_BENCH
TEST_F(ToolProgramsTest, BenchmarksKeepGoogleBenchmarksFlagsAndRunOneAfterAnother) {
  const Tool bench{"nurv_bench", NURV_TOOL_BENCH};
  const Outcome listed = RunTool(bench, {"--benchmark_list_tests=true"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("BM_EverydayStart/"), std::string::npos) << listed.out;
  // The everyday start points the user's folders into a complex that it removes at its end; the
  // nurv.ini benchmark after it makes its folder in the temporary folder.
  const Outcome run = RunTool(bench, {"--benchmark_filter=BM_EverydayStart|BM_ReadIniFile"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("BM_EverydayStart"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("BM_ReadIniFile"), std::string::npos) << run.out << run.err;
}
#endif

}  // namespace
}  // namespace nurv::testing
