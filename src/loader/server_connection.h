#pragma once
#include <string>

#include "db/database.h"
#include "loader/ui_services.h"
#include "settings/settings_record.h"

namespace nurv {

// The main sequence's connect to the chosen server and database under the loader's login: the
// wait cursor while the login is tried, the login taken into `loader_settings`, and the log entry
// of a failed open once the window's messages are processed. An incomplete login is not tried
// and logs nothing. True when the connection is open.
bool ConnectAndLog(db::Connection& connection, const std::string& server,
                   const std::string& database, const std::string& user,
                   const std::string& password, SettingsRecord& loader_settings, UiServices& ui);

}  // namespace nurv
