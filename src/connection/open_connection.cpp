#include "connection/open_connection.h"

#include <exception>

#include "base/text_utils.h"

namespace nurv {

namespace {

// The provider leaves the password out of a login whose password is blanks alone.
bool PasswordGiven(const std::string& password) {
  return password.find_first_not_of(' ') != std::string::npos;
}

}  // namespace

db::ConnectParams LoaderConnectParams(const std::string& server, const std::string& database,
                                      const std::string& user, const std::string& password) {
  db::ConnectParams params;
  params.server = TrimBlanks(server);
  params.database = TrimBlanks(database);
  params.user = TrimBlanks(user);
  if (PasswordGiven(password)) params.password = password;
  return params;
}

bool LoginComplete(const std::string& server, const std::string& database, const std::string& user,
                   const std::string& password) {
  return !server.empty() && !database.empty() && !user.empty() && !password.empty();
}

ConnectResult OpenConnection(db::Connection& connection, const std::string& server,
                             const std::string& database, const std::string& user,
                             const std::string& password) {
  ConnectResult result;
  if (!LoginComplete(server, database, user, password)) return result;
  connection.SetParams(LoaderConnectParams(server, database, user, password));
  try {
    connection.Open();
  } catch (const db::DbError& error) {
    result.error = error;
    connection.Close();
  } catch (const std::exception& error) {
    result.error = db::DbError(error.what());
    connection.Close();
  }
  result.open = connection.IsOpen();
  return result;
}

}  // namespace nurv
