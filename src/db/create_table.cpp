#include "db/create_table.h"

#include <stdexcept>

namespace nurv::db {

std::string CreateTableStatement(Engine engine, std::string_view table,
                                 const ColumnsByEngine& columns) {
  std::string_view list;
  switch (engine) {
    case Engine::Sqlite:
      list = columns.sqlite;
      break;
    case Engine::SqlServer:
      list = columns.sql_server;
      break;
    case Engine::PostgreSql:
      list = columns.postgresql;
      break;
    case Engine::Other:
      throw std::runtime_error("Типы столбцов этого сервера неизвестны: создайте таблицу " +
                               std::string(table) + " вручную");
  }
  return "CREATE TABLE " + std::string(table) + " (" + std::string(list) + ")";
}

}  // namespace nurv::db
