// A connection whose server text holds a password: the log and the log file hide it, the
// registry keeps the text as it is.
#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace nurv::testing {
namespace {

using CliPasswordTest = CliTest;

TEST_F(CliPasswordTest, TheLogAndTheLogFileHideThePasswordOfTheServerText) {
  const std::string server = "odbc:DSN=nurv-nowhere;UID=admin;pwd={se;cr}}et}";
  complex_.registry().Clear();
  complex_.WriteIni(server);
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 1) << run.err << Joined(run.out);
  EXPECT_TRUE(Contains(
      run.out,
      "Соединение с сервером: [odbc:DSN=nurv-nowhere;UID=admin;pwd=***], БД: [demo] - ОШИБКА"))
      << Joined(run.out);
  for (const std::string& shown : {Joined(run.out), run.err, ReadFile(complex_.LogFile())})
    EXPECT_EQ(shown.find("cr}}et"), std::string::npos) << shown;
  EXPECT_EQ(complex_.RegistryText("\\ServerNames", "ServerName51"), server);
}

}  // namespace
}  // namespace nurv::testing
