#pragma once
// The administrator's statements on UpdatesBLOB: the table's creation in each engine's types and
// the rows' deletion and insertion. The loader only reads this table.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/value.h"
#include "db/database.h"

namespace nurv::publish {

// CREATE TABLE UpdatesBLOB in the column types of `engine`; std::runtime_error for an engine whose
// types are not known here.
std::string CreateTableStatement(db::Engine engine);
bool UpdateTableExists(db::Connection& connection);

// One row as it is written.
struct NewRow {
  std::string code;
  std::string name;
  std::optional<std::string> version;
  std::uint32_t caption = 0;
  DateTime updatedate;
  std::string blob_path;  // the file whose bytes become `fblob`
};

// Deletes the rows of `code`; only those whose `name` is one of `names` unless that is empty.
// The number of rows deleted.
std::int64_t DeleteRows(db::Connection& connection, const std::string& code,
                        const std::vector<std::string>& names = {});
// Inserts the rows; SQL Server numbers them itself (an IDENTITY column), elsewhere each takes
// the next `vcode` after the largest in the table.
void InsertRows(db::Connection& connection, const std::vector<NewRow>& rows);

// The expression of a BLOB's size in bytes in `engine`'s SQL.
std::string BlobSizeExpression(db::Engine engine, const std::string& column);

}  // namespace nurv::publish
