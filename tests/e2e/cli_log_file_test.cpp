// The user's log file of a run: the run's log behind one header line; a log file that cannot be
// written changes nothing of the run.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

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

#ifndef _WIN32
using CliLogFilePlaceTest = CliTest;

// Opening a pipe for writing waits for its reader, and a lock held elsewhere may never be given
// back: none of it may hold up the run, which then writes no log.
TEST_F(CliLogFilePlaceTest, APipeOrALockAtTheLogFilesPlaceHoldsNothingUp) {
  const CliRun usual = RunCli();
  ASSERT_EQ(usual.status, 0) << usual.err;
  const std::string log = complex_.LogFile();
  const std::string pipe = complex_.Path("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string logged = ReadFile(log);
  int holder = -1;
  const struct {
    const char* what;
    std::function<void()> plant;
  } places[] = {
      {"a pipe", [&] { ::mkfifo(log.c_str(), 0600); }},
      {"a link to a pipe", [&] { fs::create_symlink(pipe, log); }},
      {"a file another process keeps locked",
       [&] {
         WriteFile(log, logged);
         holder = ::open(log.c_str(), O_RDONLY | O_CLOEXEC);
         ::flock(holder, LOCK_EX);
       }},
  };
  for (const auto& place : places) {
    fs::remove(log);
    place.plant();
    const CliRun run = RunCliWithin(std::chrono::seconds(30));
    EXPECT_EQ(run.status, usual.status) << place.what;
    EXPECT_EQ(run.out, usual.out) << place.what;
  }
  EXPECT_EQ(ReadFile(log), logged) << "written past another process's lock";
  ::close(holder);
}
#endif

}  // namespace
}  // namespace nurv::testing
