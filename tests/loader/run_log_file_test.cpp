// The run's copy of its log in the user's log file: rotation at 1 MiB, three old files kept.
#include "loader/run_log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/temp_dir.h"

namespace nurv::testing {
namespace {

#ifdef _WIN32
const std::string kLineEnd = "\r\n";
#else
const std::string kLineEnd = "\n";
#endif

TEST(RunLogFile, AFileThatHasReachedOneMebibyteIsRenamedAsideAndTheOldestDropped) {
  TempDir dir;
  const std::string path = dir.Sub("loader.log");
  WriteFile(path + ".1", "one");
  WriteFile(path + ".2", "two");
  WriteFile(path + ".3", "three");
  const std::string almost_full(1024 * 1024 - 1, 'x');
  WriteFile(path, almost_full);
  RunLogFile log(path);

  log.Append({"a"});  // one byte short of the limit: appended in place
  EXPECT_EQ(ReadFile(path), almost_full + "a" + kLineEnd);
  EXPECT_EQ(ReadFile(path + ".1"), "one");

  log.Append({"b", "c"});  // now over it
  EXPECT_EQ(ReadFile(path), "b" + kLineEnd + "c" + kLineEnd);
  EXPECT_EQ(ReadFile(path + ".1"), almost_full + "a" + kLineEnd);
  EXPECT_EQ(ReadFile(path + ".2"), "one");
  EXPECT_EQ(ReadFile(path + ".3"), "two");
  EXPECT_FALSE(std::filesystem::exists(Utf8Path(path + ".4")));
}

}  // namespace
}  // namespace nurv::testing
