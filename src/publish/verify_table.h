#pragma once
#include <ostream>

#include "db/database.h"
#include "rules/row_signature.h"

namespace nurv::publish {

// Checks every row of UpdatesBLOB as the loader will read it and writes one line per problem:
// vcode, code, name and what is wrong, separated by tabs. A plain row's file must have the CRC-32
// of `caption`; an archived row's first item must be a file named as the module's file with that
// CRC-32 and, by the version rule, the row's version; a single-file code has one row; `fblob`,
// `updatedate` and a numeric `caption` must be there; group names must be ones the loader takes.
// With trusted keys configured, every row must carry a signature of one of them over its fields
// and stored bytes, and its bytes as they land must have the signed SHA-256. A code the loader
// does not know is a warning. Each patch of UpdatesDelta must belong to a row and have been made
// for that row's bytes; a problem names the patch's base. Changes nothing; the number of problems
// (warnings not counted).
int VerifyTable(db::Connection& connection, const TrustedKeys& keys, std::ostream& out);

}  // namespace nurv::publish
