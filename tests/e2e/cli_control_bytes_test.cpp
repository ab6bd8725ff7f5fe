// Texts of the database and the command line that hold line breaks: the log and the log file show
// them escaped, so none of them begins a line of its own.
#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace nurv::testing {
namespace {

using CliControlBytesTest = CliTest;

TEST_F(CliControlBytesTest, LineBreaksOfTheTableAndTheArgumentsForgeNoLine) {
  UpdateRow bat = FileRow(3, "BAT", "", "@echo off\r\n", "2024-03-01 10:00:00");
  bat.caption = std::string("1\r\n==== row");
  CreateUpdateDatabase(complex_.Db(), {VersionRow(1, "PRG", "5.1.9.2\r\n==== version"),
                                       VersionRow(2, "LDR", "6.3.0.0"), bat});
  const CliRun run = RunCli({"/x\n==== argument"});
  EXPECT_EQ(run.status, 2) << run.err << Joined(run.out);
  EXPECT_TRUE(Contains(run.out, "Доступно____ - версия: 5.1.9.2\\x0D\\x0A==== version"))
      << Joined(run.out);
  EXPECT_NE(Joined(run.out).find("['1\\x0D\\x0A==== row' in field 'caption'"), std::string::npos)
      << Joined(run.out);
  EXPECT_EQ(CountPrefix(run.out, "===="), 0) << Joined(run.out);
  const Lines logged = SplitLines(ReadFile(complex_.LogFile()));
  EXPECT_EQ(CountPrefix(logged, "===="), 1) << Joined(logged);
  ASSERT_FALSE(logged.empty());
  EXPECT_NE(logged.front().find("/x\\x0A==== argument"), std::string::npos) << logged.front();
}

}  // namespace
}  // namespace nurv::testing
