// nurv-publish init --report, report and report --prune on SQLite and on the PostgreSQL test
// server, over runs written as the loader writes them.
#include <gtest/gtest.h>

#include "common/pg_server.h"
#include "platform/system_info.h"
#include "publish_fixture.h"
#include "rules/run_report.h"

namespace nurv::testing {
namespace {

// On PostgreSQL (true) or SQLite (false).
class FleetReport : public PublishTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (!GetParam()) {
      params_ = {SqliteServerName(dir_.Sub("updates.db")), "nurv", "admin", "secret"};
      grant_ = "Пользователям рабочих мест нужна запись в файл базы и в его папку";
      return;
    }
    std::string why_not;
    PgServer* server = PgServer::Get(&why_not);
    if (!server) GTEST_SKIP() << why_not;
    server->Execute("CREATE ROLE fleet LOGIN PASSWORD 'Fleet#2026'", "postgres");
    server->Execute("CREATE DATABASE nurvfleet OWNER fleet", "postgres");
    params_ = {server->ServerName(), "nurvfleet", "fleet", "Fleet#2026"};
    grant_ = "GRANT INSERT ON UpdatesReport TO \"NurvLoader\";";
  }
  std::string grant_;
};

// Four runs of three workstations: one failed its latest run, one was last seen nine days ago,
// and an older run of the first is beyond a prune of eight days.
TEST_P(FleetReport, OneLinePerWorkstationItsLatestRunDecidesAndPruneTakesOlderRows) {
  const PublishRun init = Publish({"init", "--report"});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(Lines(init.out),
            (std::vector<std::string>{"Таблица UpdatesBLOB создана", "Таблица UpdatesSign создана",
                                      "Таблица UpdatesDelta создана",
                                      "Таблица UpdatesReport создана", grant_}));
  db::ConnectParams writer = params_;
  writer.mode = db::OpenMode::ReadWrite;
  db::Connection connection;
  connection.SetParams(writer);
  connection.Execute("INSERT INTO UpdatesBLOB (vcode, tdoc, version) VALUES (1, 'PRG', ?)",
                     {Value(std::string("5.1.10.2"))});
  const DateTime now = std::chrono::floor<std::chrono::seconds>(platform::LocalNow());
  const auto add = [&](const char* computer, int hours, int status, const char* version,
                       const char* failed) {
    InsertRunReport(connection, {now - std::chrono::hours(hours), computer, "operator",
                                 "C:\\NURV\\", "6.3.0.0", version, status, failed});
  };
  add("WS-1", 240, 0, "5.1.9.2", "");
  add("WS-1", 1, 2, "5.1.9.2", "PRG CXP");
  add("WS-2", 2, 0, "5.1.10.2", "");
  add("WS-3", 216, 0, "5.1.10.2", "");
  const auto line = [&](const char* computer, int hours, const char* tail) {
    return std::string(computer) + "\toperator\t" +
           SqlDateTimeText(now - std::chrono::hours(hours)) + "\t" + tail;
  };
  const std::string ws1 = line("WS-1", 1, "5.1.9.2\t2\tPRG CXP");
  const std::string ws2 = line("WS-2", 2, "5.1.10.2\t0\t");
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out;  // the whole output, or its summary for the text format
  } steps[] = {
      {{"report", "--format", "tsv"}, 1, {ws1, ws2, line("WS-3", 216, "5.1.10.2\t0\t")}},
      {{"report", "--failed", "--format", "tsv"}, 1, {ws1}},
      {{"report"},
       1,
       {"Рабочих мест: 3", "На предлагаемой версии 5.1.10.2: 2", "С ошибкой последнего запуска: 1",
        "Без запусков 7 дн. и более: 1"}},
      {{"report", "--prune", "8"}, 0, {"Удалено строк: 2"}},
      {{"report", "--format", "tsv"}, 1, {ws1, ws2}},
      {{"report", "--prune", "8", "--failed"}, 2, {}},
      {{"report", "--stale", "x"}, 2, {}},
  };
  for (const auto& step : steps) {
    const PublishRun run = Publish(step.args);
    EXPECT_EQ(run.status, step.status) << step.args.back() << run.err;
    std::vector<std::string> out = Lines(run.out);
    if (step.args.size() == 1 && out.size() > 4) out.erase(out.begin(), out.end() - 4);
    EXPECT_EQ(out, step.out) << step.args.back();
  }
  add("WS-1", 0, 0, "5.1.10.2", "");
  const PublishRun healed = Publish({"report", "--format", "tsv"});
  EXPECT_EQ(healed.status, 0) << healed.err;
  EXPECT_EQ(Lines(healed.out), (std::vector<std::string>{line("WS-1", 0, "5.1.10.2\t0\t"), ws2}));
}

INSTANTIATE_TEST_SUITE_P(Engines, FleetReport, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSql" : "Sqlite"; });

}  // namespace
}  // namespace nurv::testing
