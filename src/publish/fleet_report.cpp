#include "publish/fleet_report.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/date_utils.h"
#include "base/text_utils.h"
#include "base/version_key.h"
#include "connection/loader_login.h"
#include "publish/publish_commands.h"
#include "rules/run_report.h"

namespace nurv::publish {

namespace {

// A workstation's latest run.
struct LatestRun {
  std::string computer;
  std::string user;
  DateTime started;
  std::optional<std::string> version;
  std::int64_t status = 0;
  std::string failed;
};

// The latest run of each computer, in the order of their names; of two rows of one computer at the
// same latest time, the first.
std::vector<LatestRun> LatestRuns(db::Connection& connection) {
  auto rows = connection.OpenDataset(
      "SELECT computer, username, rundate, version, status, failed FROM UpdatesReport r WHERE "
      "rundate = (SELECT max(rundate) FROM UpdatesReport l WHERE l.computer = r.computer) ORDER "
      "BY computer");
  std::vector<LatestRun> runs;
  for (rows->First(); !rows->Eof(); rows->Next()) {
    const std::string computer = rows->AsString("computer");
    if (!runs.empty() && runs.back().computer == computer) continue;
    const Value version = rows->Field("version");
    runs.push_back({computer, rows->AsString("username"), rows->AsDateTime("rundate"),
                    IsNull(version) ? std::nullopt : ValueText(version), rows->AsInt64("status"),
                    rows->AsString("failed")});
  }
  return runs;
}

// The main program's version the update table offers now; none without a PRG row.
std::optional<std::string> OfferedVersion(db::Connection& connection) {
  auto rows = connection.OpenDataset("SELECT version FROM UpdatesBLOB WHERE tdoc = 'PRG'");
  rows->First();
  if (rows->Eof() || IsNull(rows->Field("version"))) return std::nullopt;
  return rows->AsString("version");
}

std::string ResultText(std::int64_t status) {
  static constexpr std::array<const char*, 5> kResults = {
      "успех", "ошибка инициализации", "ошибки обновления", "непредвиденная ошибка",
      "ошибка запуска"};
  const bool known = status >= 0 && status < static_cast<std::int64_t>(kResults.size());
  return std::to_string(status) + " " + (known ? kResults[static_cast<std::size_t>(status)] : "?");
}

// Characters, not bytes: the names and headings are mostly Cyrillic.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Columns aligned two blanks apart; `lines` begins with the heading.
void PrintTable(const std::vector<std::vector<std::string>>& lines, std::ostream& out) {
  std::vector<std::size_t> widths(lines.front().size(), 0);
  for (const auto& line : lines)
    for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], Width(line[i]));
  for (const auto& line : lines) {
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
      text += line[i];
      if (i + 1 < line.size()) text += std::string(widths[i] - Width(line[i]) + 2, ' ');
    }
    out << std::string(TrimAny(text, " ")) << '\n';
  }
}

DateTime DaysBefore(DateTime now, int days) { return now - std::chrono::days(days); }

void RequireReportTable(db::Connection& connection) {
  if (!ReportTableExists(connection))
    throw PublishError("Таблицы UpdatesReport нет: создайте её командой init --report");
}

}  // namespace

void InitReportTable(db::Connection& connection, std::ostream& report) {
  const bool present = ReportTableExists(connection);
  if (!present) connection.Execute(CreateReportTableStatement(connection.engine()));
  report << (present ? "Таблица UpdatesReport уже есть\n" : "Таблица UpdatesReport создана\n");
  // PostgreSQL folds an unquoted name to lower case; the loader's login keeps its case.
  const std::string login = std::string(kLoaderLogin);
  switch (connection.engine()) {
    case db::Engine::Sqlite:
      report << "Пользователям рабочих мест нужна запись в файл базы и в его папку\n";
      break;
    case db::Engine::PostgreSql:
      report << "GRANT INSERT ON UpdatesReport TO \"" << login << "\";\n";
      break;
    default:
      report << "GRANT INSERT ON UpdatesReport TO " << login << ";\n";
  }
}

bool PrintFleetReport(db::Connection& connection, const FleetReportOptions& options, DateTime now,
                      std::ostream& out) {
  RequireReportTable(connection);
  const std::vector<LatestRun> runs = LatestRuns(connection);
  const std::optional<std::string> offered = OfferedVersion(connection);
  const DateTime stale_before = DaysBefore(now, options.stale_days);
  std::size_t current = 0, failed = 0, stale = 0;
  std::vector<std::vector<std::string>> lines;
  if (!options.tsv)
    lines.push_back(
        {"Компьютер", "Пользователь", "Последний запуск", "Версия", "Результат", "Ошибки этапов"});
  for (const LatestRun& run : runs) {
    const bool run_failed = run.status != 0;
    if (offered && run.version && VersionKey(*run.version) == VersionKey(*offered)) ++current;
    if (run_failed) ++failed;
    if (run.started < stale_before) ++stale;
    if (options.failed_only && !run_failed) continue;
    // The table's texts are the loader's and the server's: one line stays one line.
    lines.push_back({EscapeControlBytes(run.computer), EscapeControlBytes(run.user),
                     SqlDateTimeText(run.started), EscapeControlBytes(run.version.value_or("-")),
                     options.tsv ? std::to_string(run.status) : ResultText(run.status),
                     EscapeControlBytes(run.failed)});
  }
  if (options.tsv) {
    for (const auto& line : lines) {
      const char* separator = "";
      for (const std::string& cell : line) {
        out << separator << cell;
        separator = "\t";
      }
      out << '\n';
    }
    return failed > 0;
  }
  PrintTable(lines, out);
  out << "\nРабочих мест: " << runs.size() << "\nНа предлагаемой версии "
      << EscapeControlBytes(offered.value_or("-")) << ": " << current
      << "\nС ошибкой последнего запуска: " << failed << "\nБез запусков " << options.stale_days
      << " дн. и более: " << stale << '\n';
  return failed > 0;
}

std::int64_t PruneReports(db::Connection& connection, int days, DateTime now) {
  RequireReportTable(connection);
  db::Transaction transaction(connection);
  const std::int64_t deleted = connection.Execute("DELETE FROM UpdatesReport WHERE rundate < ?",
                                                  {Value(DaysBefore(now, days))});
  transaction.Commit();
  return deleted;
}

}  // namespace nurv::publish
