#include <string>
#include <string_view>

#include "db/db_internal.h"

namespace nurv::db {

namespace {

constexpr std::string_view kRowsAlias = " AS nurv_rows";

std::string Quoted(std::string_view text, char open, char close) {
  std::string quoted(1, open);
  for (const char c : text) {
    quoted += c;
    if (c == close) quoted += close;
  }
  return quoted + close;
}

std::string FromQuery(std::string_view query) {
  return " FROM (" + std::string(query) + ")" + std::string(kRowsAlias);
}

}  // namespace

std::string QuoteSqlName(SqlDialect dialect, std::string_view name) {
  return dialect == SqlDialect::SqlServer ? Quoted(name, '[', ']') : Quoted(name, '"', '"');
}

std::string SqlLiteral(std::string_view text) { return Quoted(text, '\'', '\''); }

std::string BlobLengthOf(SqlDialect dialect, std::string_view column) {
  return (dialect == SqlDialect::SqlServer ? "DATALENGTH(" : "octet_length(") +
         QuoteSqlName(dialect, column) + ")";
}

std::string RowsWithBlobLengths(SqlDialect dialect, std::string_view query,
                                const std::vector<std::string>& columns,
                                const std::vector<bool>& blob) {
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    const std::string name = QuoteSqlName(dialect, columns[i]);
    sql += blob[i] ? BlobLengthOf(dialect, columns[i]) + " AS " + name : name;
  }
  return sql + FromQuery(query);
}

std::string BlobSlices::LengthSql() const {
  return "SELECT " + BlobLengthOf(dialect, blob_column) + FromQuery(query) + KeyCondition();
}

std::string BlobSlices::SliceSql(std::int64_t offset, std::int64_t size) const {
  const std::string column = QuoteSqlName(dialect, blob_column);
  const std::string start = std::to_string(offset + 1);
  const std::string count = std::to_string(size);
  const std::string slice = dialect == SqlDialect::SqlServer
                                ? "SUBSTRING(" + column + ", " + start + ", " + count + ")"
                                : "substring(" + column + " from " + start + " for " + count + ")";
  return "SELECT " + slice + FromQuery(query) + KeyCondition();
}

std::string BlobSlices::KeyCondition() const {
  return " WHERE " + QuoteSqlName(dialect, key_column) + " = " + key_literal;
}

}  // namespace nurv::db
