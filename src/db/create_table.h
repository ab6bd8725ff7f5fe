#pragma once
#include <string>
#include <string_view>

#include "db/database.h"

namespace nurv::db {

// A table's column list as each known server spells its types.
struct ColumnsByEngine {
  std::string_view sqlite;
  std::string_view sql_server;
  std::string_view postgresql;
};

// "CREATE TABLE name (columns)" for this connection's server; throws for a server whose types
// are unknown, telling the administrator to create the table by hand.
std::string CreateTableStatement(Engine engine, std::string_view table,
                                 const ColumnsByEngine& columns);

}  // namespace nurv::db
