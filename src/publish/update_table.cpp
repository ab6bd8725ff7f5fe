#include "publish/update_table.h"

#include <stdexcept>

#include "base/utf8.h"
#include "db/create_table.h"
#include "db/table_exists.h"

namespace nurv::publish {

std::string CreateTableStatement(db::Engine engine) {
  return db::CreateTableStatement(
      engine, "UpdatesBLOB",
      {.sqlite = "vcode INTEGER PRIMARY KEY, icode INTEGER, tdoc TEXT NOT NULL, version TEXT, "
                 "name TEXT, caption INTEGER, result INTEGER, wdate TEXT, updatedate TEXT, repl "
                 "INTEGER, fblob BLOB",
       .sql_server =
           "vcode int IDENTITY PRIMARY KEY, icode int NULL, tdoc varchar(10) NOT NULL, "
           "version varchar(50) NULL, name nvarchar(255) NULL, caption bigint NULL, result "
           "int NULL, wdate datetime NULL, updatedate datetime NULL, repl int NULL, fblob "
           "varbinary(max) NULL",
       .postgresql = "vcode integer PRIMARY KEY, icode integer, tdoc varchar(10) NOT NULL, version "
                     "varchar(50), name varchar(255), caption bigint, result integer, wdate "
                     "timestamp, updatedate timestamp, repl integer, fblob bytea"});
}

namespace {

// A number the server returns as an integer, a decimal or its text.
std::int64_t IntegerOf(const Value& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  if (const auto* real = std::get_if<double>(&value)) return static_cast<std::int64_t>(*real);
  if (const auto* text = std::get_if<std::string>(&value)) return std::stoll(*text);
  throw std::runtime_error("Сервер не сообщил номер вставленной строки");
}

}  // namespace

bool UpdateTableExists(db::Connection& connection) {
  return db::TableExists(connection, "updatesblob");
}

std::string CreateSignTableStatement(db::Engine engine) {
  // Both servers spell these types alike.
  constexpr std::string_view kServerColumns =
      "vcode int PRIMARY KEY, sha256 varchar(64) NOT NULL, signature varchar(128) NOT NULL, "
      "keyid varchar(16) NOT NULL";
  return db::CreateTableStatement(
      engine, "UpdatesSign",
      {.sqlite = "vcode INTEGER PRIMARY KEY, sha256 TEXT NOT NULL, signature TEXT NOT NULL, keyid "
                 "TEXT NOT NULL",
       .sql_server = kServerColumns,
       .postgresql = kServerColumns});
}

bool SignTableExists(db::Connection& connection) {
  return db::TableExists(connection, "updatessign");
}

std::int64_t DeleteRows(db::Connection& connection, const std::string& code,
                        const std::vector<std::string>& names) {
  // The side tables' rows of the rows deleted go with them.
  for (const char* side : {"UpdatesSign", "UpdatesDelta"}) {
    if (!db::TableExists(connection, LowerCaseText(side))) continue;
    const std::string side_rows = std::string("DELETE FROM ") + side +
                                  " WHERE vcode IN (SELECT vcode FROM UpdatesBLOB WHERE tdoc = ?";
    if (names.empty()) connection.Execute(side_rows + ")", {Value(code)});
    for (const std::string& name : names)
      connection.Execute(side_rows + " AND name = ?)", {Value(code), Value(name)});
  }
  if (names.empty())
    return connection.Execute("DELETE FROM UpdatesBLOB WHERE tdoc = ?", {Value(code)});
  std::int64_t deleted = 0;
  for (const std::string& name : names)
    deleted += connection.Execute("DELETE FROM UpdatesBLOB WHERE tdoc = ? AND name = ?",
                                  {Value(code), Value(name)});
  return deleted;
}

std::vector<std::int64_t> InsertRows(db::Connection& connection, const std::vector<NewRow>& rows) {
  const bool numbered_by_server = connection.engine() == db::Engine::SqlServer;
  std::int64_t next = 1;
  if (!numbered_by_server) {
    const Value largest = connection.ExecuteScalar("SELECT max(vcode) FROM UpdatesBLOB");
    if (const auto* number = std::get_if<std::int64_t>(&largest)) next = *number + 1;
  }
  std::vector<std::int64_t> vcodes;
  for (const NewRow& row : rows) {
    std::vector<std::pair<std::string, db::InsertValue>> columns;
    if (!numbered_by_server) {
      vcodes.push_back(next);
      columns.emplace_back("vcode", Value(next++));
    }
    columns.emplace_back("tdoc", Value(row.code));
    if (row.version) columns.emplace_back("version", Value(*row.version));
    columns.emplace_back("name", Value(row.name));
    columns.emplace_back("caption", Value(static_cast<std::int64_t>(row.caption)));
    columns.emplace_back("updatedate", Value(row.updatedate));
    columns.emplace_back("fblob", db::BlobFile{row.blob_path});
    connection.Insert("UpdatesBLOB", columns);
    // The session's last IDENTITY value: the statement just run is a batch of its own.
    if (numbered_by_server)
      vcodes.push_back(IntegerOf(connection.ExecuteScalar("SELECT @@IDENTITY")));
  }
  return vcodes;
}

void InsertSignature(db::Connection& connection, std::int64_t vcode, const Sha256Digest& landed,
                     const Signature& signature, const std::string& key_id) {
  connection.Execute("DELETE FROM UpdatesSign WHERE vcode = ?", {Value(vcode)});
  connection.Insert("UpdatesSign", {{"vcode", Value(vcode)},
                                    {"sha256", Value(HexText(BytesOf(landed)))},
                                    {"signature", Value(HexText(BytesOf(signature)))},
                                    {"keyid", Value(key_id)}});
}

std::string BlobSizeExpression(db::Engine engine, const std::string& column) {
  return engine == db::Engine::SqlServer ? "DATALENGTH(" + column + ")" : "length(" + column + ")";
}

}  // namespace nurv::publish
