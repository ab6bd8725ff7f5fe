#include "dbchooser/connect_server.h"

#include <exception>

#include "base/text_utils.h"

namespace nurv {

namespace {

// The provider leaves the password out of a login whose password is blanks alone.
bool PasswordGiven(const std::string& password) {
  return password.find_first_not_of(' ') != std::string::npos;
}

}  // namespace

std::string LoaderConnectionString(const std::string& server, const std::string& database,
                                   const std::string& user, const std::string& password) {
  std::string text = "Provider=SQLOLEDB.1;";
  if (PasswordGiven(password)) text += "Password=" + password + ";";
  text += "Persist Security Info=True;User ID=" + user + ";Initial Catalog=" + database +
          ";Data Source=" + server + ";use procedure for prepare=0";
  return text;
}

db::ConnectParams LoaderConnectParams(const std::string& server, const std::string& database,
                                      const std::string& user, const std::string& password) {
  db::ConnectParams params;
  params.server = TrimBlanks(server);
  params.database = TrimBlanks(database);
  params.user = TrimBlanks(user);
  if (PasswordGiven(password)) params.password = password;
  return params;
}

void ConnectServer(db::Connection& connection, const std::string& server,
                   const std::string& database, const std::string& user,
                   const std::string& password, bool& failed, TRecordRegistry& loader_settings,
                   UiServices& ui) {
  failed = false;
  if (server.empty() || database.empty() || user.empty() || password.empty()) {
    failed = true;
    return;
  }
  connection.SetParams(LoaderConnectParams(server, database, user, password));
  ui.SetWaitCursor(true);
  loader_settings.User = user;
  loader_settings.Password = password;
  try {
    connection.Open();
  } catch (const std::exception& error) {
    failed = true;
    const std::string message = error.what();
    std::string text = message;
    if (db::KindOf(error) == db::ErrorKind::Unreachable)
      text = "Сеть не найдена...\r\n" + message;
    else if (db::KindOf(error) == db::ErrorKind::LoginRejected)
      text = "Ошибка аунтификации...\r\n" + message;
    ui.ProcessMessages();
    ui.SetWaitCursor(false);
    connection.Close();
    ui.AddLogLine("--> ОШИБКА подключения: Сервер: [" + server + "], " + "БД: [" + database + "]" +
                  "\r\n" + "--> ТЕКСТ ОШИБКИ: " + '"' + text + '"');
  }
  if (!connection.IsOpen()) failed = true;
  ui.SetWaitCursor(false);
}

}  // namespace nurv
