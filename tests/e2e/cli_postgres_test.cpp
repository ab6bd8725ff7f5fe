// The test server runs on POSIX only (tests/common/pg_server.cpp): not built for Windows.
#ifndef _WIN32
#include <gtest/gtest.h>

#include "common/pg_server.h"
#include "e2e_fixture.h"

namespace nurv::testing {
namespace {

// The loader against a real PostgreSQL server through ODBC, started by the tests themselves.
class CliPostgresTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    std::string why_not;
    server_ = PgServer::Get(&why_not);
    if (server_ == nullptr) GTEST_SKIP() << why_not;
    fs::remove(complex_.RegistryFile());
    complex_.WriteIni(server_->ServerName(), PgServer::kDatabase);
  }
  PgServer* server_ = nullptr;
};

TEST_F(CliPostgresTest, RejectedLoginIsAnInitialisationError) {
  server_->Execute(std::string("ALTER ROLE \"") + PgServer::kLoaderLogin +
                   "\" PASSWORD 'changed-by-the-administrator'");
  const CliRun run = RunCli();
  server_->Execute(std::string("ALTER ROLE \"") + PgServer::kLoaderLogin + "\" PASSWORD '" +
                   PgServer::kLoaderPassword + "'");
  EXPECT_EQ(run.status, 1) << Joined(run.out);
  const std::string head = "--> ОШИБКА подключения: Сервер: [" + server_->ServerName() +
                           "], БД: [" + PgServer::kDatabase + "]";
  const auto entry = std::find(run.out.begin(), run.out.end(), head);
  ASSERT_NE(entry, run.out.end()) << Joined(run.out);
  EXPECT_EQ((entry + 1)->rfind("--> ТЕКСТ ОШИБКИ: \"Ошибка аунтификации...", 0), 0u);
  EXPECT_EQ(CountPrefix(run.out, "Считывание номера"), 0);
  EXPECT_EQ(run.out.back(), kStars);
  EXPECT_FALSE(Launched());
}

TEST_F(CliPostgresTest, LoginWithoutTheSelectRightCannotUpdate) {
  server_->Execute(std::string("REVOKE SELECT ON UpdatesBLOB FROM \"") + PgServer::kLoaderLogin +
                   "\"");
  const CliRun run = RunCli();
  server_->Execute(std::string("GRANT SELECT ON UpdatesBLOB TO \"") + PgServer::kLoaderLogin +
                   "\"");
  EXPECT_EQ(run.status, 1) << Joined(run.out);
  EXPECT_TRUE(Contains(run.out, "Соединение с сервером: [" + server_->ServerName() + "], БД: [" +
                                    PgServer::kDatabase + "] - OK"));
  const auto entry =
      std::find(run.out.begin(), run.out.end(), "--> ОШИБКА! Нет прав на обновление...");
  ASSERT_NE(entry, run.out.end()) << Joined(run.out);
  EXPECT_NE((entry + 1)->find("permission"), std::string::npos);
  EXPECT_EQ(CountPrefix(run.out, "Считывание номера"), 0);
  EXPECT_FALSE(Launched());
}

}  // namespace
}  // namespace nurv::testing

#endif  // _WIN32
