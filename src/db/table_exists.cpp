#include "db/table_exists.h"

#include <string>

namespace nurv::db {

bool TableExists(Connection& connection, std::string_view lower_name) {
  // An unquoted name is folded to lower case by PostgreSQL and kept by SQL Server.
  const std::string sql =
      connection.engine() == Engine::Sqlite
          ? "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND lower(name) = " +
                SqlLiteral(lower_name)
          : "SELECT count(*) FROM information_schema.tables WHERE lower(table_name) = " +
                SqlLiteral(lower_name);
  const Value count = connection.ExecuteScalar(sql);
  if (const auto* number = std::get_if<std::int64_t>(&count)) return *number > 0;
  const auto text = ValueText(count);
  return text && *text != "0";
}

}  // namespace nurv::db
