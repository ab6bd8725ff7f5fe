#pragma once
// The administrator's statements on UpdatesBLOB: the table's creation in each engine's types and
// the rows' deletion and insertion. The loader only reads this table.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/update_signature.h"
#include "base/value.h"
#include "db/database.h"

namespace nurv::publish {

// CREATE TABLE UpdatesBLOB in the column types of `engine`; std::runtime_error for an engine whose
// types are not known here.
std::string CreateTableStatement(db::Engine engine);
bool UpdateTableExists(db::Connection& connection);
// CREATE TABLE UpdatesSign, the side table of the rows' signatures, in `engine`'s types.
std::string CreateSignTableStatement(db::Engine engine);
bool SignTableExists(db::Connection& connection);

// One row as it is written.
struct NewRow {
  std::string code;
  std::string name;
  std::optional<std::string> version;
  std::uint32_t caption = 0;
  DateTime updatedate;
  std::string blob_path;    // the file whose bytes become `fblob`
  std::string landed_path;  // the file as it lands on a workstation
};

// Deletes the rows of `code`; only those whose `name` is one of `names` unless that is empty.
// Their signatures and patches go with them. The number of rows deleted.
std::int64_t DeleteRows(db::Connection& connection, const std::string& code,
                        const std::vector<std::string>& names = {});
// Inserts the rows; SQL Server numbers them itself (an IDENTITY column), elsewhere each takes
// the next `vcode` after the largest in the table. The rows' `vcode`s in order.
std::vector<std::int64_t> InsertRows(db::Connection& connection, const std::vector<NewRow>& rows);
// Writes the signature row of `vcode`, replacing one left behind there.
void InsertSignature(db::Connection& connection, std::int64_t vcode, const Sha256Digest& landed,
                     const Signature& signature, const std::string& key_id);

// The expression of a BLOB's size in bytes in `engine`'s SQL.
std::string BlobSizeExpression(db::Engine engine, const std::string& column);

}  // namespace nurv::publish
