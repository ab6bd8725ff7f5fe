#include "publish/update_table.h"

#include <stdexcept>

namespace nurv::publish {

std::string CreateTableStatement(db::Engine engine) {
  switch (engine) {
    case db::Engine::Sqlite:
      return "CREATE TABLE UpdatesBLOB (vcode INTEGER PRIMARY KEY, icode INTEGER, tdoc TEXT NOT "
             "NULL, version TEXT, name TEXT, caption INTEGER, result INTEGER, wdate TEXT, "
             "updatedate TEXT, repl INTEGER, fblob BLOB)";
    case db::Engine::SqlServer:
      return "CREATE TABLE UpdatesBLOB (vcode int IDENTITY PRIMARY KEY, icode int NULL, tdoc "
             "varchar(10) NOT NULL, version varchar(50) NULL, name nvarchar(255) NULL, caption "
             "bigint NULL, result int NULL, wdate datetime NULL, updatedate datetime NULL, repl "
             "int NULL, fblob varbinary(max) NULL)";
    case db::Engine::PostgreSql:
      return "CREATE TABLE UpdatesBLOB (vcode integer PRIMARY KEY, icode integer, tdoc "
             "varchar(10) NOT NULL, version varchar(50), name varchar(255), caption bigint, "
             "result integer, wdate timestamp, updatedate timestamp, repl integer, fblob bytea)";
    case db::Engine::Other:
      break;
  }
  throw std::runtime_error(
      "Типы столбцов этого сервера неизвестны: создайте таблицу UpdatesBLOB вручную");
}

bool UpdateTableExists(db::Connection& connection) {
  // An unquoted name is folded to lower case by PostgreSQL and kept by SQL Server.
  const std::string sql =
      connection.engine() == db::Engine::Sqlite
          ? "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND lower(name) = "
            "'updatesblob'"
          : "SELECT count(*) FROM information_schema.tables WHERE lower(table_name) = "
            "'updatesblob'";
  const Value count = connection.ExecuteScalar(sql);
  const auto* number = std::get_if<std::int64_t>(&count);
  if (number) return *number > 0;
  const auto text = ValueText(count);
  return text && *text != "0";
}

std::int64_t DeleteRows(db::Connection& connection, const std::string& code,
                        const std::vector<std::string>& names) {
  if (names.empty())
    return connection.Execute("DELETE FROM UpdatesBLOB WHERE tdoc = ?", {Value(code)});
  std::int64_t deleted = 0;
  for (const std::string& name : names)
    deleted += connection.Execute("DELETE FROM UpdatesBLOB WHERE tdoc = ? AND name = ?",
                                  {Value(code), Value(name)});
  return deleted;
}

void InsertRows(db::Connection& connection, const std::vector<NewRow>& rows) {
  const bool numbered_by_server = connection.engine() == db::Engine::SqlServer;
  std::int64_t next = 1;
  if (!numbered_by_server) {
    const Value largest = connection.ExecuteScalar("SELECT max(vcode) FROM UpdatesBLOB");
    if (const auto* number = std::get_if<std::int64_t>(&largest)) next = *number + 1;
  }
  for (const NewRow& row : rows) {
    std::vector<std::pair<std::string, db::InsertValue>> columns;
    if (!numbered_by_server) columns.emplace_back("vcode", Value(next++));
    columns.emplace_back("tdoc", Value(row.code));
    if (row.version) columns.emplace_back("version", Value(*row.version));
    columns.emplace_back("name", Value(row.name));
    columns.emplace_back("caption", Value(static_cast<std::int64_t>(row.caption)));
    columns.emplace_back("updatedate", Value(row.updatedate));
    columns.emplace_back("fblob", db::BlobFile{row.blob_path});
    connection.Insert("UpdatesBLOB", columns);
  }
}

std::string BlobSizeExpression(db::Engine engine, const std::string& column) {
  return engine == db::Engine::SqlServer ? "DATALENGTH(" + column + ")" : "length(" + column + ")";
}

}  // namespace nurv::publish
