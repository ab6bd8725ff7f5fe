// The run's row in UpdatesReport: its fields for each outcome on SQLite, and on the PostgreSQL
// server a login that may not insert it.
#include <gtest/gtest.h>

#include "cli_postgres_fixture.h"
#include "connection/loader_login.h"
#include "platform/system_info.h"
#include "rules/loader_files.h"
#include "rules/run_report.h"
#include "support/product_version.h"

namespace nurv::testing {
namespace {

constexpr char kRowTime[] = "2024-03-01 10:00:00";
constexpr char kReportFailure[] = "--> ОШИБКА записи отчёта о запуске в UpdatesReport: [";

// Each row as "status|failed|files|bytes|version|trustedkey", its workstation's fields checked.
std::vector<std::string> ReportRows(const db::ConnectParams& params, const std::string& cli) {
  db::Connection connection;
  connection.SetParams(params);
  auto rows = connection.OpenDataset("SELECT * FROM UpdatesReport");
  // The same build as the loader's.
  FourPartVersion own{};
  ReadOwnProductVersion(own);
  const DateTime now = platform::LocalNow();
  std::vector<std::string> found;
  for (rows->First(); !rows->Eof(); rows->Next()) {
    EXPECT_EQ(rows->AsString("computer"), platform::HostName());
    EXPECT_EQ(rows->AsString("username"), platform::UserName());
    EXPECT_EQ(rows->AsString("folder") + FileNameOf(cli), cli);
    EXPECT_EQ(rows->AsString("loaderversion"), VersionText(own));
    EXPECT_LE(rows->AsDateTime("rundate"), now);
    EXPECT_GT(rows->AsDateTime("rundate"), now - std::chrono::minutes(2));
    EXPECT_GT(rows->AsInt64("durationms"), 0);
    std::string row;
    for (const char* column : {"status", "failed", "files", "bytes", "version", "trustedkey"})
      row += (row.empty() ? "" : "|") + ValueText(rows->Field(column)).value_or("NULL");
    found.push_back(row);
  }
  return found;
}

struct ReportCase {
  const char* name;
  bool trusted_key;           // unsigned rows then fail their stages
  bool main_program_damaged;  // no program, no version; the table offers none: no stage runs
  int status;
  const char* row;
};

class CliReportTest : public CliTest, public ::testing::WithParamInterface<ReportCase> {};

// Group rows only: the main program and the loader are installed as the table offers them.
TEST_P(CliReportTest, TheRunWritesOneRowOfItsOutcome) {
  const ReportCase& c = GetParam();
  CreateUpdateDatabase(
      complex_.Db(),
      {VersionRow(1, "PRG", c.main_program_damaged ? "00.00.00.00" : "5.1.9.2"),
       VersionRow(2, "LDR", "6.3.0.0"), FileRow(3, "LXP", "ru.pak", "locale", kRowTime),
       FileRow(4, "XLS", "Форма.xls", "form", kRowTime)});
  db::ConnectParams params{Server(), "demo", "", std::nullopt};
  params.mode = db::OpenMode::ReadWrite;
  db::Connection connection;
  connection.SetParams(params);
  connection.Execute(CreateReportTableStatement(db::Engine::Sqlite));
  if (c.main_program_damaged) WriteFile(complex_.Bin() + "nurv.exe", "not a program");
  if (c.trusted_key) {
    const std::string ini = complex_.Bin() + "nurv.ini";
    WriteFile(ini,
              ReadFile(ini) + "[Security]\nTrustedKey1=ed25519:" + std::string(43, 'A') + "=\n");
  }

  const CliRun run = RunCli();
  EXPECT_EQ(run.status, c.status) << run.err << Joined(run.out);
  EXPECT_EQ(ReportRows(params, Cli()), std::vector<std::string>{c.row});
  EXPECT_EQ(CountPrefix(SplitLines(ReadFile(complex_.LogFile())), kReportFailure), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CliReportTest,
    ::testing::Values(ReportCase{"Success", false, false, 0, "0||2|10|5.1.9.2|0"},
                      ReportCase{"UpdateErrors", true, false, 2, "2|LXP XLS|0|0|5.1.9.2|1"},
                      ReportCase{"StartFailure", false, true, 4, "4||0|0|NULL|0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliPostgresTest, ALoginWithoutTheInsertRightChangesNothingButTheLogFile) {
  const std::string login = std::string("\"") + PgServer::kLoaderLogin + "\"";
  RunCli();  // the first run writes the registry: the two compared find it
  server_->Execute(CreateReportTableStatement(db::Engine::PostgreSql) +
                   "; GRANT SELECT ON UpdatesReport TO " + login);
  const CliRun refused = RunCli();
  server_->Execute("GRANT INSERT ON UpdatesReport TO " + login);
  const CliRun reported = RunCli();
  const std::vector<std::string> rows = ReportRows(
      {server_->ServerName(), PgServer::kDatabase, kLoaderLogin, PgServer::kLoaderPassword}, Cli());
  server_->Execute("DROP TABLE UpdatesReport");

  EXPECT_EQ(refused.status, 0) << refused.err << Joined(refused.out);
  EXPECT_EQ(refused.out, reported.out);
  EXPECT_EQ(refused.err, reported.err);
  const Lines log = SplitLines(ReadFile(complex_.LogFile()));
  EXPECT_EQ(CountPrefix(log, kReportFailure), 1) << Joined(log);
  EXPECT_EQ(rows, std::vector<std::string>{"0||0|0|5.1.9.2|0"});
}

}  // namespace
}  // namespace nurv::testing
