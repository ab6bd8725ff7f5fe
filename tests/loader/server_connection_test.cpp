// The main sequence's connect against SQLite update databases and a PostgreSQL server: the
// argument rule, the wait cursor and the log entry of a failed connect.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <string>

#include "common/pg_server.h"
#include "common/recording_services.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "connection/loader_login.h"
#include "loader/server_connection.h"

// FreeTDS keeps a few hundred bytes of every failed connect for good; not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libtdsodbc.so\n"; }

namespace nurv {
namespace {

class ServerConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Sub("updates.db");
    testing::CreateUpdateDatabase(path_, {{1,
                                           "PRG",
                                           "1.0.0.1",
                                           "nurv.exe",
                                           std::int64_t{1},
                                           "2024-01-01 00:00:00",
                                           std::string("x"),
                                           {}}});
  }
  bool Run(const std::string& server, const std::string& database, const std::string& user,
           const std::string& password) {
    return !ConnectAndLog(connection_, server, database, user, password, settings_, ui_);
  }

  testing::TempDir dir_;
  std::string path_;
  db::Connection connection_;
  SettingsRecord settings_;
  testing::RecordingServices ui_;
};

TEST_F(ServerConnectionTest, OpensAndRecordsTheLogin) {
  EXPECT_FALSE(Run(testing::SqliteServerName(path_), "nurv", "NurvLoader", "secret"));
  EXPECT_TRUE(connection_.IsOpen());
  EXPECT_EQ(settings_.User, "NurvLoader");
  EXPECT_EQ(settings_.Password, "secret");
  EXPECT_TRUE(ui_.log.empty());
  EXPECT_EQ(ui_.cursor_changes, (std::vector<bool>{true, false}));
}

TEST_F(ServerConnectionTest, AnEmptyArgumentFailsWithoutTouchingAnything) {
  const std::string server = testing::SqliteServerName(path_);
  EXPECT_TRUE(Run(server, "", "NurvLoader", "secret"));
  EXPECT_TRUE(Run("", "nurv", "NurvLoader", "secret"));
  EXPECT_TRUE(Run(server, "nurv", "", "secret"));
  EXPECT_TRUE(Run(server, "nurv", "NurvLoader", ""));
  EXPECT_FALSE(connection_.IsOpen());
  EXPECT_TRUE(ui_.log.empty());
  EXPECT_TRUE(ui_.cursor_changes.empty());
  EXPECT_EQ(settings_.User, "");
}

TEST_F(ServerConnectionTest, ABlankPasswordIsAPassword) {
  EXPECT_FALSE(Run(testing::SqliteServerName(path_), "nurv", "NurvLoader", "   "));
  EXPECT_EQ(settings_.Password, "   ");
}

TEST_F(ServerConnectionTest, AnUnreachableServerIsLoggedAsNetworkNotFound) {
  const std::string missing = testing::SqliteServerName(dir_.Sub("missing.db"));
  EXPECT_TRUE(Run(missing, "nurv", "NurvLoader", "secret"));
  EXPECT_FALSE(connection_.IsOpen());
  ASSERT_EQ(ui_.log.size(), 1u);
  const std::string& entry = ui_.log[0];
  const std::string head = "--> ОШИБКА подключения: Сервер: [" + missing +
                           "], БД: [nurv]\r\n--> ТЕКСТ ОШИБКИ: \"Сеть не найдена...\r\n";
  ASSERT_EQ(entry.substr(0, head.size()), head) << entry;
  EXPECT_NE(entry.find("ConnectionOpen (Connect())", head.size()), std::string::npos);
  EXPECT_EQ(entry.back(), '"');
  EXPECT_GE(ui_.processed, 1) << "messages are processed before the entry";
  EXPECT_EQ(ui_.cursor_changes, (std::vector<bool>{true, false, false}));
}

TEST_F(ServerConnectionTest, OtherErrorsAreLoggedUnchanged) {
  testing::WriteFile(dir_.Sub("junk.db"), std::string(2048, 'j'));
  EXPECT_TRUE(Run(testing::SqliteServerName(dir_.Sub("junk.db")), "nurv", "NurvLoader", "x"));
  ASSERT_EQ(ui_.log.size(), 1u);
  const std::string marker = "--> ТЕКСТ ОШИБКИ: \"";
  const std::size_t at = ui_.log[0].find(marker);
  ASSERT_NE(at, std::string::npos);
  const std::string text = ui_.log[0].substr(at + marker.size());
  EXPECT_EQ(text.rfind("[SQLite]", 0), 0u) << text;
  EXPECT_NE(text.find("not a database"), std::string::npos);
}

TEST_F(ServerConnectionTest, NetworkWinsWhenBothPhrasesAppear) {
  // A server name is part of the provider's message; one that holds the login phrase must not
  // turn a missing server into an authentication failure.
  const std::string odd = testing::SqliteServerName(dir_.Sub("Login failed for user.db"));
  EXPECT_TRUE(Run(odd, "nurv", "NurvLoader", "secret"));
  ASSERT_EQ(ui_.log.size(), 1u);
  EXPECT_NE(ui_.log[0].find("\"Сеть не найдена...\r\n"), std::string::npos);
  EXPECT_EQ(ui_.log[0].find("Ошибка аунтификации"), std::string::npos);
}

TEST_F(ServerConnectionTest, APhraseInTheServerNameDoesNotClassify) {
  // Only the failure itself says whether the login was at fault, never the text around it.
  const std::string odd = dir_.Sub("Login failed for user.db");
  testing::WriteFile(odd, std::string(2048, 'j'));
  EXPECT_TRUE(Run(testing::SqliteServerName(odd), "nurv", "NurvLoader", "secret"));
  ASSERT_EQ(ui_.log.size(), 1u);
  EXPECT_NE(ui_.log[0].find("--> ТЕКСТ ОШИБКИ: \"[SQLite]"), std::string::npos) << ui_.log[0];
}

// The same through psqlODBC on a real PostgreSQL server.
class ServerConnectionPostgresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why_not;
    server_ = testing::PgServer::Get(&why_not);
    if (!server_) GTEST_SKIP() << "PostgreSQL cannot be started here: " << why_not;
  }
  bool Connect(db::Connection& connection, const std::string& server, const std::string& database,
               const std::string& user, const std::string& password) {
    return ConnectAndLog(connection, server, database, user, password, settings_, ui_);
  }

  testing::PgServer* server_ = nullptr;
  SettingsRecord settings_;
  testing::RecordingServices ui_;
};

TEST_F(ServerConnectionPostgresTest, LoginOutcomesAreClassifiedInTheLog) {
  ASSERT_STREQ(testing::PgServer::kLoaderLogin, kLoaderLogin);
  ASSERT_EQ(testing::PgServer::kLoaderPassword, LoaderPassword());

  db::Connection good;
  EXPECT_TRUE(Connect(good, server_->ServerName(), testing::PgServer::kDatabase, kLoaderLogin,
                      LoaderPassword()));
  EXPECT_TRUE(good.IsOpen());
  EXPECT_TRUE(ui_.log.empty());
  EXPECT_EQ(settings_.User, kLoaderLogin);
  EXPECT_EQ(settings_.Password, LoaderPassword());
  EXPECT_EQ(ui_.cursor_changes, (std::vector<bool>{true, false}));

  db::Connection wrong;
  EXPECT_FALSE(
      Connect(wrong, server_->ServerName(), testing::PgServer::kDatabase, kLoaderLogin, "wrong"));
  EXPECT_FALSE(wrong.IsOpen());
  ASSERT_EQ(ui_.log.size(), 1u);
  const std::string prefix = "--> ОШИБКА подключения: Сервер: [" + server_->ServerName() +
                             "], БД: [nurvupd]\r\n--> ТЕКСТ ОШИБКИ: \"Ошибка аунтификации...\r\n";
  EXPECT_EQ(ui_.log[0].substr(0, prefix.size()), prefix) << ui_.log[0];
  EXPECT_NE(ui_.log[0].find("Login failed for user"), std::string::npos);
  EXPECT_EQ(ui_.log[0].back(), '"');

  // As on SQL Server, a database that is not there is a refused login.
  db::Connection unknown;
  EXPECT_FALSE(Connect(unknown, server_->ServerName(), "nosuchdb", kLoaderLogin, LoaderPassword()));
  ASSERT_EQ(ui_.log.size(), 2u);
  EXPECT_NE(ui_.log[1].find("\"Ошибка аунтификации...\r\n"), std::string::npos) << ui_.log[1];
  ui_.log.pop_back();

  db::Connection dead;
  EXPECT_FALSE(Connect(dead, server_->DeadServerName(), testing::PgServer::kDatabase, kLoaderLogin,
                       LoaderPassword()));
  ASSERT_EQ(ui_.log.size(), 2u);
  EXPECT_NE(ui_.log[1].find("--> ТЕКСТ ОШИБКИ: \"Сеть не найдена...\r\n"), std::string::npos)
      << ui_.log[1];
  EXPECT_NE(ui_.log[1].find("ConnectionOpen (Connect())"), std::string::npos);
}

#ifndef _WIN32
// A plain server name goes to SQL Server through the platform's driver (FreeTDS here).
TEST_F(ServerConnectionTest, SqlServerWhereNothingListensIsNetworkNotFound) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ::close(fd);
  const std::string server = "127.0.0.1," + std::to_string(ntohs(address.sin_port));

  EXPECT_TRUE(Run(server, "nurv", "NurvLoader", "secret"));
  ASSERT_EQ(ui_.log.size(), 1u);
  if (ui_.log[0].find("IM002") != std::string::npos)
    GTEST_SKIP() << "no SQL Server ODBC driver installed: " << ui_.log[0];
  EXPECT_NE(ui_.log[0].find("\"Сеть не найдена...\r\n"), std::string::npos) << ui_.log[0];
}
#endif

}  // namespace
}  // namespace nurv
