// ConnectServer against SQLite update databases: the argument rule, the two connection-string
// forms and the log entry of a failed connect.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <string>

#include "common/recording_services.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "dbchooser/connect_server.h"

// FreeTDS keeps a few hundred bytes of every failed connect for good; not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libtdsodbc.so\n"; }

namespace nurv {
namespace {

class ConnectServerTest : public ::testing::Test {
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
    bool failed = false;
    ConnectServer(connection_, server, database, user, password, failed, settings_, ui_);
    return failed;
  }

  testing::TempDir dir_;
  std::string path_;
  db::Connection connection_;
  TRecordRegistry settings_;
  testing::RecordingServices ui_;
};

TEST_F(ConnectServerTest, OpensAndRecordsTheLogin) {
  EXPECT_FALSE(Run(testing::SqliteServerName(path_), "nurv", "NurvLoader", "secret"));
  EXPECT_TRUE(connection_.IsOpen());
  EXPECT_EQ(settings_.User, "NurvLoader");
  EXPECT_EQ(settings_.Password, "secret");
  EXPECT_TRUE(ui_.log.empty());
  EXPECT_EQ(ui_.cursor_changes, (std::vector<bool>{true, false}));
}

TEST_F(ConnectServerTest, AnEmptyArgumentFailsWithoutTouchingAnything) {
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

TEST_F(ConnectServerTest, ABlankPasswordUsesTheFormWithoutPassword) {
  EXPECT_EQ(LoaderConnectionString("S", "d", "U", "P"),
            "Provider=SQLOLEDB.1;Password=P;Persist Security Info=True;User ID=U;Initial "
            "Catalog=d;Data Source=S;use procedure for prepare=0");
  EXPECT_EQ(LoaderConnectionString("S", "d", "U", "   "),
            "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=U;Initial Catalog=d;Data "
            "Source=S;use procedure for prepare=0");
  EXPECT_FALSE(LoaderConnectParams("S", "d", "U", "   ").password);
  EXPECT_EQ(LoaderConnectParams("S", "d", "U", " P ").password, " P ") << "kept as typed";
  // As the provider reads the string: blanks around a name are not part of it.
  EXPECT_EQ(LoaderConnectParams(" S ", " d", "U ", "P"), (db::ConnectParams{"S", "d", "U", "P"}));
  EXPECT_FALSE(Run(testing::SqliteServerName(path_), "nurv", "NurvLoader", "   "));
  EXPECT_EQ(settings_.Password, "   ");
}

TEST_F(ConnectServerTest, AnUnreachableServerIsLoggedAsNetworkNotFound) {
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

TEST_F(ConnectServerTest, OtherErrorsAreLoggedUnchanged) {
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

TEST_F(ConnectServerTest, NetworkWinsWhenBothPhrasesAppear) {
  // A server name is part of the provider's message; one that holds the login phrase must not
  // turn a missing server into an authentication failure.
  const std::string odd = testing::SqliteServerName(dir_.Sub("Login failed for user.db"));
  EXPECT_TRUE(Run(odd, "nurv", "NurvLoader", "secret"));
  ASSERT_EQ(ui_.log.size(), 1u);
  EXPECT_NE(ui_.log[0].find("\"Сеть не найдена...\r\n"), std::string::npos);
  EXPECT_EQ(ui_.log[0].find("Ошибка аунтификации"), std::string::npos);
}

TEST_F(ConnectServerTest, APhraseInTheServerNameDoesNotClassify) {
  // Only the failure itself says whether the login was at fault, never the text around it.
  const std::string odd = dir_.Sub("Login failed for user.db");
  testing::WriteFile(odd, std::string(2048, 'j'));
  EXPECT_TRUE(Run(testing::SqliteServerName(odd), "nurv", "NurvLoader", "secret"));
  ASSERT_EQ(ui_.log.size(), 1u);
  EXPECT_NE(ui_.log[0].find("--> ТЕКСТ ОШИБКИ: \"[SQLite]"), std::string::npos) << ui_.log[0];
}

#ifndef _WIN32
// A plain server name goes to SQL Server through the platform's driver (FreeTDS here).
TEST_F(ConnectServerTest, SqlServerWhereNothingListensIsNetworkNotFound) {
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
