#pragma once
#include <string>

#include "db/database.h"
#include "settings/record_registry.h"
#include "support/ui_services.h"

namespace nurv {

// The ADO-style connection string of the loader's login; without "Password=" when the password
// is blanks alone.
std::string LoaderConnectionString(const std::string& server, const std::string& database,
                                   const std::string& user, const std::string& password);

// What that string says, as the connection takes it: the names without blanks around them, no
// password attribute when the password is blanks alone.
db::ConnectParams LoaderConnectParams(const std::string& server, const std::string& database,
                                      const std::string& user, const std::string& password);

// Opens `connection` on `server`/`database` under the login `user`/`password`. `failed` is set
// (false on entry) when an argument is empty, the open fails or leaves the connection closed; a
// failed open adds one log entry that says whether the network or the login was at fault.
// `loader_settings` receives the login used.
void ConnectServer(db::Connection& connection, const std::string& server,
                   const std::string& database, const std::string& user,
                   const std::string& password, bool& failed, TRecordRegistry& loader_settings,
                   UiServices& ui);

}  // namespace nurv
