// The user's log file of a run: the run's log behind one header line; a log file that cannot be
// written changes nothing of the run.
#include <gtest/gtest.h>

#include <regex>

#include "e2e_fixture.h"

namespace nurv::testing {
namespace {

#ifdef _WIN32
constexpr char kStateFolderVariable[] = "LOCALAPPDATA";
#else
constexpr char kStateFolderVariable[] = "XDG_STATE_HOME";
#endif

TEST_F(CliTest, LogFileHoldsAHeaderAndThenExactlyTheLinesOfTheRun) {
  const CliRun run = RunCli({"/Info"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Lines logged = SplitLines(ReadFile(complex_.LogFile()));
  ASSERT_FALSE(logged.empty());
  const std::string& header = logged.front();
  EXPECT_TRUE(std::regex_search(
      header, std::regex(R"(^==== \d{4}-\d\d-\d\d \d\d:\d\d:\d\d NurvLoader \d+\.\d+\.\d+\.\d+ )"
                         R"([^ @]+@[^ ]+: )")))
      << header;
  EXPECT_TRUE(header.ends_with(": " + Cli() + " /Info")) << header;
  EXPECT_EQ(Lines(logged.begin() + 1, logged.end()), run.out);
}

TEST_F(CliTest, ALogFileThatCannotBeWrittenChangesNothingOfTheRun) {
  const CliRun logged = RunCli();
  ASSERT_EQ(logged.status, 0) << logged.err;

  // The log file's name is taken by a folder.
  fs::remove(Utf8Path(complex_.LogFile()));
  fs::create_directory(Utf8Path(complex_.LogFile()));
  const CliRun onto_folder = RunCli();
  // The log file's folder cannot be made: a file stands where it would begin.
  WriteFile(complex_.Path("state-file"), "");
  complex_.env().Set(kStateFolderVariable, complex_.Path("state-file"));
  const CliRun without_folder = RunCli();

  for (const CliRun* run : {&onto_folder, &without_folder}) {
    EXPECT_EQ(run->status, logged.status);
    EXPECT_EQ(run->out, logged.out);
    EXPECT_EQ(run->err, logged.err);
  }
}

}  // namespace
}  // namespace nurv::testing
