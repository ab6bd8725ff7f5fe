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

// Rows signed by nurv-publish on the server, the key trusted by nurv.ini: installed, then nothing
// written again.
TEST_F(CliPostgresTest, SignedRowsOfTheServerLandAndTheSecondRunWritesNothing) {
  const std::string signer = "NurvSigner", password = "Sign#2026";
  server_->Execute("DELETE FROM UpdatesBLOB; CREATE ROLE \"" + signer + "\" LOGIN PASSWORD '" +
                   password + "'; GRANT ALL ON UpdatesBLOB TO \"" + signer +
                   "\"; GRANT CREATE ON SCHEMA public TO \"" + signer + "\"");
  const auto publish = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--server", server_->ServerName(), "--database", PgServer::kDatabase,
                               "--user", signer, "--password", password});
    const ProcessRef process = StartProcess(BuiltProgram("nurv-publish"), args,
                                            complex_.Path("publish.out"), complex_.Path("err"));
    EXPECT_EQ(process == kNoProcess ? -1 : WaitForProcess(process), 0)
        << args[8] << ": " << ReadFile(complex_.Path("err"));
    return SplitLines(ReadFile(complex_.Path("publish.out")));
  };
  publish({"init"});
  server_->Execute(std::string("GRANT SELECT ON UpdatesSign TO \"") + PgServer::kLoaderLogin +
                   "\"");
  fs::create_directories(Utf8Path(complex_.Path("keys")));
  const Lines keygen = publish({"keygen", complex_.Path("keys")});
  const std::string key = complex_.Path("keys/nurv-publish.key");
  const std::string main = complex_.Path("release/nurv-5.1.10.2");
  fs::create_directories(Utf8Path(complex_.Path("release/cxp")));
  fs::copy_file(Utf8Path(MainPrograms::Get().New()), Utf8Path(main));
  WriteFile(complex_.Path("release/run.bat"), "@echo off\r\n");
  WriteFile(complex_.Path("release/cxp/libcef.dll"), "browser");
  publish({"publish", "PRG", main, "--key", key});
  publish({"publish", "LDR", complex_.Bin() + "NurvLoader.exe", "--key", key});
  publish({"publish", "BAT", complex_.Path("release/run.bat"), "--key", key});
  publish({"publish-group", "CXP", complex_.Path("release/cxp"), "--key", key});
  complex_.WriteIni(server_->ServerName(), PgServer::kDatabase);
  const std::string ini = complex_.Bin() + "nurv.ini";
  WriteFile(ini, ReadFile(ini) + "[Security]\nTrustedKey3=" + keygen.back() + "\n");

  const CliRun first = RunCli();
  EXPECT_EQ(first.status, 0) << first.err << Joined(first.out);
  EXPECT_EQ(ReadFile(complex_.Bin() + "nurv.exe"), MainPrograms::Get().NewBytes());
  EXPECT_EQ(ReadFile(complex_.Bin() + "nurvrun.bat"), "@echo off\r\n");
  EXPECT_EQ(ReadFile(complex_.Bin() + "libcef.dll"), "browser");
  AwaitLaunch(first);
  const CliRun second = RunCli();
  EXPECT_EQ(second.status, 0) << second.err;
  for (const std::string& line : second.out)
    EXPECT_FALSE(line.rfind(" -> ", 0) == 0 && !line.ends_with("НЕ ТРЕБУЕТСЯ")) << line;
  AwaitLaunch(second);
}

}  // namespace
}  // namespace nurv::testing

#endif  // _WIN32
