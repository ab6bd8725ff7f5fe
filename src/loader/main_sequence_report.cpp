// The end of a run: its row in UpdatesReport, the optional table of the runs of every workstation.
#include <chrono>
#include <exception>

#include "base/connection_text.h"
#include "base/text_utils.h"
#include "connection/loader_login.h"
#include "connection/open_connection.h"
#include "loader/loader_app.h"
#include "platform/system_info.h"
#include "rules/run_report.h"
#include "support/product_version.h"

namespace nurv {

namespace {

// For the report's login and its statement: a server that stops answering holds up the end of a
// run no longer than this.
constexpr int kReportTimeoutSeconds = 5;

}  // namespace

void LoaderApp::ReportRun() {
  // A run that never reached the server has nowhere to report to.
  if (!connection_.IsOpen()) return;
  try {
    if (!ReportTableExists(connection_)) return;
    // A connection of its own: the run's is read-only (an SQLite file is opened so) and waits as
    // long as the update needs.
    db::ConnectParams params = LoaderConnectParams(state_.SelectedServer, state_.SelectedDataBase,
                                                   kLoaderLogin, LoaderPassword());
    params.mode = db::OpenMode::ReadWrite;
    params.timeout_seconds = kReportTimeoutSeconds;
    params.statement_timeout_seconds = kReportTimeoutSeconds;
    db::Connection reporting;
    reporting.SetParams(params);
    InsertRunReport(reporting, ThisRunReport());
  } catch (const std::exception& error) {
    // Only the log file hears of it: the run's outcome and its window stay as they were.
    log_file_.Append({"--> ОШИБКА записи отчёта о запуске в UpdatesReport: [" +
                      EscapeControlBytes(HidePasswords(error.what())) + "]"});
  }
}

RunReport LoaderApp::ThisRunReport() const {
  RunReport report;
  report.started = std::chrono::floor<std::chrono::seconds>(started_at_);
  report.computer = EscapeControlBytes(platform::HostName());
  report.user = EscapeControlBytes(platform::UserName());
  report.folder = EscapeControlBytes(state_.LoaderDir);
  FourPartVersion version{};
  ReadOwnProductVersion(version);
  report.loader_version = VersionText(version);
  if (ReadFileProductVersion(state_.LoaderDir + "nurv.exe", version))
    report.program_version = VersionText(version);
  report.exit_status = ExitStatus();
  for (const std::string& code : tally_.failed_stages)
    report.failed_stages += (report.failed_stages.empty() ? "" : " ") + code;
  report.files_written = tally_.files;
  report.bytes_written = tally_.bytes;
  report.duration_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - started_clock_)
                           .count();
  report.trusted_key = !state_.TrustedKeyLines.empty();
  return report;
}

}  // namespace nurv
