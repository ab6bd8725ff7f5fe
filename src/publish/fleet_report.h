#pragma once
// The administrator's side of UpdatesReport, the optional table of the loader's runs: its
// creation, the fleet's state from it, and the removal of old rows.
#include <cstdint>
#include <ostream>

#include "base/value.h"
#include "db/database.h"

namespace nurv::publish {

// Creates UpdatesReport in the server's types unless it is there, and prints what the loader's
// login needs to write its rows.
void InitReportTable(db::Connection& connection, std::ostream& report);

struct FleetReportOptions {
  bool failed_only = false;  // --failed
  bool tsv = false;          // --format tsv: tab-separated, no heading, no summary
  int stale_days = 7;        // --stale
};

// One line per workstation (computer), from its latest run: computer, user, time of the run, the
// main program's version, result, failed stages; then the summary as of `now`. Whether any
// workstation failed its latest run.
bool PrintFleetReport(db::Connection& connection, const FleetReportOptions& options, DateTime now,
                      std::ostream& out);

// Deletes, in one transaction, the rows of runs older than `days` days before `now`; their number.
std::int64_t PruneReports(db::Connection& connection, int days, DateTime now);

}  // namespace nurv::publish
