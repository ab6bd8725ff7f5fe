#include "loader/server_connection.h"

#include "connection/open_connection.h"
#include "loader/prepare_texts.h"

namespace nurv {

bool ConnectAndLog(db::Connection& connection, const std::string& server,
                   const std::string& database, const std::string& user,
                   const std::string& password, SettingsRecord& loader_settings, UiServices& ui) {
  if (!LoginComplete(server, database, user, password)) return false;
  WaitCursor cursor(ui);
  loader_settings.User = user;
  loader_settings.Password = password;
  const ConnectResult result = OpenConnection(connection, server, database, user, password);
  if (result.error) {
    // The window catches up and shows the normal cursor before the failure is logged.
    ui.ProcessMessages();
    ui.SetWaitCursor(false);
    ui.AddLogLine(ConnectFailureEntry(server, database, *result.error));
  }
  return result.open;
}

}  // namespace nurv
