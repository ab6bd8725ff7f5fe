// The ODBC connection string built from the connection parameters.
#include <gtest/gtest.h>

#include <string>

#include "db/db_internal.h"

namespace nurv::db {
namespace {

TEST(ConnectionStringTest, OdbcValuesCannotEndTheirAttribute) {
  EXPECT_EQ(QuoteOdbcValue("NurvLoader"), "NurvLoader");
  EXPECT_EQ(QuoteOdbcValue("Учёт"), "Учёт");
  EXPECT_EQ(QuoteOdbcValue("a;PWD=x"), "{a;PWD=x}");
  EXPECT_EQ(QuoteOdbcValue("a};PWD={x"), "{a}};PWD={x}");
  EXPECT_EQ(QuoteOdbcValue(" padded"), "{ padded}");
  EXPECT_EQ(QuoteOdbcValue("}"), "{}}}");
}

TEST(ConnectionStringTest, OdbcStringForEachServerForm) {
  ConnectParams params;
  params.server = "odbc:Driver={PostgreSQL Unicode};Port=5432;";
  params.database = "db;x";
  params.user = "NurvLoader";
  params.password = "p}w";
  EXPECT_EQ(BuildOdbcConnectionString(params),
            "Driver={PostgreSQL Unicode};Port=5432;DATABASE={db;x};UID=NurvLoader;PWD={p}}w}");

  params.server = "odbc:NurvDsn";
  params.password.reset();
  EXPECT_EQ(BuildOdbcConnectionString(params), "DSN=NurvDsn;DATABASE={db;x};UID=NurvLoader");

  params.server = "srv,1433;Driver={x}";
  EXPECT_EQ(BuildOdbcConnectionString(params),
            std::string("DRIVER={") + DefaultSqlServerDriver() +
                "};SERVER={srv,1433;Driver={x}}};DATABASE={db;x};UID=NurvLoader");

  params.server = "odbc:  ";
  EXPECT_THROW(BuildOdbcConnectionString(params), DbError);
  params.server = "odbc:NurvDsn";
  params.user = std::string("a\0b", 3);
  EXPECT_THROW(BuildOdbcConnectionString(params), DbError) << "a NUL would cut the value short";
}

}  // namespace
}  // namespace nurv::db
