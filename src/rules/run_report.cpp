#include "rules/run_report.h"

#include "db/create_table.h"
#include "db/table_exists.h"

namespace nurv {

std::string CreateReportTableStatement(db::Engine engine) {
  return db::CreateTableStatement(
      engine, "UpdatesReport",
      {.sqlite = "rundate TEXT NOT NULL, computer TEXT NOT NULL, username TEXT NOT NULL, folder "
                 "TEXT NOT NULL, loaderversion TEXT NOT NULL, version TEXT, status INTEGER NOT "
                 "NULL, failed TEXT NOT NULL, files INTEGER NOT NULL, bytes INTEGER NOT NULL, "
                 "durationms INTEGER NOT NULL, trustedkey INTEGER NOT NULL",
       .sql_server = "rundate datetime NOT NULL, computer nvarchar(255) NOT NULL, username "
                     "nvarchar(255) NOT NULL, folder nvarchar(max) NOT NULL, loaderversion "
                     "varchar(50) NOT NULL, version varchar(50) NULL, status int NOT NULL, failed "
                     "varchar(255) NOT NULL, files int NOT NULL, bytes bigint NOT NULL, durationms "
                     "int NOT NULL, trustedkey int NOT NULL",
       .postgresql = "rundate timestamp NOT NULL, computer varchar(255) NOT NULL, username "
                     "varchar(255) NOT NULL, folder text NOT NULL, loaderversion varchar(50) NOT "
                     "NULL, version varchar(50), status integer NOT NULL, failed varchar(255) NOT "
                     "NULL, files integer NOT NULL, bytes bigint NOT NULL, durationms integer NOT "
                     "NULL, trustedkey integer NOT NULL"});
}

bool ReportTableExists(db::Connection& connection) {
  return db::TableExists(connection, "updatesreport");
}

void InsertRunReport(db::Connection& connection, const RunReport& report) {
  const Value program_version =
      report.program_version ? Value(*report.program_version) : Value(NullValue{});
  connection.Insert("UpdatesReport",
                    {{"rundate", Value(report.started)},
                     {"computer", Value(report.computer)},
                     {"username", Value(report.user)},
                     {"folder", Value(report.folder)},
                     {"loaderversion", Value(report.loader_version)},
                     {"version", program_version},
                     {"status", Value(std::int64_t{report.exit_status})},
                     {"failed", Value(report.failed_stages)},
                     {"files", Value(report.files_written)},
                     {"bytes", Value(report.bytes_written)},
                     {"durationms", Value(report.duration_ms)},
                     {"trustedkey", Value(std::int64_t{report.trusted_key ? 1 : 0})}});
}

}  // namespace nurv
