#pragma once
// A row of UpdatesBLOB brought onto the workstation as a patch of the installed file (UpdatesDelta)
// instead of its full bytes.
#include <memory>
#include <string>
#include <string_view>

#include "loader/staged_file.h"
#include "loader/update_context.h"

namespace nurv {

struct PatchedRow {
  std::unique_ptr<StagedFile> staged;
  std::string line;  // the log line that says how much the patch saved
};

// The catalogue's current row (of module `code`) staged beside `destination` from a patch whose
// base is the installed `destination`, checked as the full row would be: its CRC-32 against
// the row's `caption` and, with trusted keys, its signature and the signed SHA-256 of the bytes
// that land. Nothing staged, and no line logged, when no patch starts from the installed file or
// anything about the patch fails: the full row is then read as ever.
PatchedRow StagePatchedRow(UpdateContext& ctx, std::string_view code,
                           const std::string& destination);

}  // namespace nurv
