#include "dbchooser/connect_server.h"

#include <exception>

namespace nurv {

namespace {

bool OnlyBlanks(const std::string& text) {
  for (const char c : text)
    if (c != ' ') return false;
  return true;
}

}  // namespace

std::string LoaderConnectionString(const std::string& server, const std::string& database,
                                   const std::string& user, const std::string& password) {
  std::string text = "Provider=SQLOLEDB.1;";
  if (!OnlyBlanks(password)) text += "Password=" + password + ";";
  text += "Persist Security Info=True;User ID=" + user + ";Initial Catalog=" + database +
          ";Data Source=" + server + ";use procedure for prepare=0";
  return text;
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
  connection.SetConnectionString(LoaderConnectionString(server, database, user, password));
  ui.SetWaitCursor(true);
  loader_settings.User = user;
  loader_settings.Password = password;
  try {
    connection.Open();
  } catch (const std::exception& error) {
    failed = true;
    const std::string message = error.what();
    std::string text = message;
    if (message.find("ConnectionOpen (Connect())") != std::string::npos)
      text = "Сеть не найдена...\r\n" + message;
    else if (message.find("Login failed for user") != std::string::npos)
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
