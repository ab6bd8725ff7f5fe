// Connection texts as they are shown: the password's value hidden, the rest as it is.
#include "base/connection_text.h"

#include <gtest/gtest.h>

namespace nurv {
namespace {

TEST(HidePasswords, HidesEveryPasswordValueHoweverItIsWrittenAndKeepsTheRest) {
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {
      {"sqlite:/srv/updates.db", "sqlite:/srv/updates.db"},
      {"SQLSRV01\\NURV", "SQLSRV01\\NURV"},
      {"odbc:DSN=nurv;UID=admin;PWD=secret", "odbc:DSN=nurv;UID=admin;PWD=***"},
      {"odbc:PWD=secret;DSN=nurv", "odbc:PWD=***;DSN=nurv"},
      {"odbc:Driver={PostgreSQL Unicode};pwd = {se;cr}}et};Port=5432",
       "odbc:Driver={PostgreSQL Unicode};pwd =***;Port=5432"},
      {"Provider=SQLOLEDB.1;Password=\"a;\"\"b\";User ID=u",
       "Provider=SQLOLEDB.1;Password=***;User ID=u"},
      {"PASSWORD='x''y;z'", "PASSWORD=***"},
      {"odbc:DSN=n;Pwd={never closed;UID=u", "odbc:DSN=n;Pwd=***"},
      {"odbc:DSN=n;OldPwd=kept;PWD=", "odbc:DSN=n;OldPwd=kept;PWD=***"},
  };
  for (const auto& c : cases) EXPECT_EQ(HidePasswords(c.text), c.shown) << c.text;
}

}  // namespace
}  // namespace nurv
