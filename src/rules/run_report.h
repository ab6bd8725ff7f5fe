#pragma once
// UpdatesReport, the optional table of the loader's runs: where an administrator has created it,
// every run that reached the server adds one row, and nurv-publish reads the rows back.
#include <cstdint>
#include <optional>
#include <string>

#include "base/value.h"
#include "db/database.h"

namespace nurv {

// One run as its row holds it. Texts are as the loader shows them: control characters escaped.
struct RunReport {
  DateTime started;  // local time to the second, as the run's header line in the user's log file
  std::string computer;
  std::string user;
  std::string folder;  // the complex's program folder
  std::string loader_version;
  std::optional<std::string> program_version;  // the main program's after the run; none unread
  int exit_status = 0;                         // as nurvloader-cli ends
  std::string failed_stages;                   // the failed stages' codes, separated by blanks
  std::int64_t files_written = 0;
  std::int64_t bytes_written = 0;
  std::int64_t duration_ms = 0;
  bool trusted_key = false;  // nurv.ini trusted a signing key
};

// CREATE TABLE UpdatesReport in `engine`'s types; std::runtime_error for an engine whose types are
// not known here.
std::string CreateReportTableStatement(db::Engine engine);
bool ReportTableExists(db::Connection& connection);

// Adds `report` as one row, every value bound to the statement.
void InsertRunReport(db::Connection& connection, const RunReport& report);

}  // namespace nurv
