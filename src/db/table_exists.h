#pragma once
#include <string_view>

#include "db/database.h"

namespace nurv::db {

// Whether the table `lower_name` (given in lower case) is there and visible to this login: one
// query on the catalogue, which lists on a server only the tables the login holds a right on.
bool TableExists(Connection& connection, std::string_view lower_name);

}  // namespace nurv::db
