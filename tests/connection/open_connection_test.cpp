// The loader's login: the connection string it shows, the parameters the connection takes, and
// what a connect reports, on SQLite update databases.
#include "connection/open_connection.h"

#include <gtest/gtest.h>

#include <string>

#include "common/temp_dir.h"
#include "common/update_db.h"

// FreeTDS keeps a few hundred bytes of every failed connect for good; not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libtdsodbc.so\n"; }

namespace nurv {
namespace {

TEST(LoaderLogin, ABlankPasswordIsLeftOut) {
  EXPECT_FALSE(LoaderConnectParams("S", "d", "U", "   ").password);
  EXPECT_EQ(LoaderConnectParams("S", "d", "U", " P ").password, " P ") << "kept as typed";
  // As the provider reads the string: blanks around a name are not part of it.
  EXPECT_EQ(LoaderConnectParams(" S ", " d", "U ", "P"), (db::ConnectParams{"S", "d", "U", "P"}));
}

TEST(LoaderLogin, ConnectReportsTheKindOfAFailure) {
  testing::TempDir dir;
  const std::string path = dir.Sub("updates.db");
  testing::CreateUpdateDatabase(path, {});
  db::Connection connection;

  const ConnectResult opened =
      OpenConnection(connection, testing::SqliteServerName(path), "nurv", "NurvLoader", "x");
  EXPECT_TRUE(opened.open);
  EXPECT_FALSE(opened.error);

  const ConnectResult missing = OpenConnection(
      connection, testing::SqliteServerName(dir.Sub("missing.db")), "nurv", "NurvLoader", "x");
  EXPECT_FALSE(missing.open);
  EXPECT_FALSE(connection.IsOpen()) << "the connection in use is closed for the new login";
  ASSERT_TRUE(missing.error);
  EXPECT_EQ(missing.error->kind(), db::ErrorKind::Unreachable);

  const ConnectResult incomplete =
      OpenConnection(connection, testing::SqliteServerName(path), "", "NurvLoader", "x");
  EXPECT_FALSE(incomplete.open);
  EXPECT_FALSE(incomplete.error) << "not tried";
}

}  // namespace
}  // namespace nurv
