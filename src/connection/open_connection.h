#pragma once
#include <optional>
#include <string>

#include "db/database.h"

namespace nurv {

// The login as the connection takes it: the names without blanks around them, no password
// attribute when the password is blanks alone (as the SQL Server provider leaves it out).
db::ConnectParams LoaderConnectParams(const std::string& server, const std::string& database,
                                      const std::string& user, const std::string& password);

// A login is tried only when none of its parts is empty.
bool LoginComplete(const std::string& server, const std::string& database, const std::string& user,
                   const std::string& password);

struct ConnectResult {
  bool open = false;
  // What the open raised; none when it was not tried or returned without opening.
  std::optional<db::DbError> error;
};

// Opens `connection` on `server`/`database` under the login `user`/`password`; an incomplete
// login is not tried. A failed open leaves the connection closed.
[[nodiscard]] ConnectResult OpenConnection(db::Connection& connection, const std::string& server,
                                           const std::string& database, const std::string& user,
                                           const std::string& password);

}  // namespace nurv
