// Parsing the loader's connection string and building the ODBC one from it.
#include <gtest/gtest.h>

#include <string>

#include "db/db_internal.h"

namespace nurv::db {
namespace {

TEST(ConnectionStringTest, BothLoaderFormsAreRead) {
  const ConnectParams with = ParseConnectionString(
      "Provider=SQLOLEDB.1;Password=NurvUpd#6300;Persist Security Info=True;User ID=NurvLoader;"
      "Initial Catalog=nurvdb;Data Source=SRV\\SQL2008;use procedure for prepare=0");
  EXPECT_EQ(with.provider, "SQLOLEDB.1");
  EXPECT_EQ(with.server, "SRV\\SQL2008");
  EXPECT_EQ(with.database, "nurvdb");
  EXPECT_EQ(with.user, "NurvLoader");
  EXPECT_EQ(with.password, "NurvUpd#6300");
  EXPECT_TRUE(with.has_password);
  EXPECT_EQ(with.timeout_seconds, 30);

  const ConnectParams without = ParseConnectionString(
      "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=NurvLoader;Initial Catalog=db;"
      "Data Source=srv;use procedure for prepare=0");
  EXPECT_FALSE(without.has_password);
  EXPECT_EQ(without.server, "srv");
}

TEST(ConnectionStringTest, UnquotedValuesKeepSeparatorsOfServerNames) {
  const ConnectParams params = ParseConnectionString(
      "Provider=SQLOLEDB.1;Password=p=1;Persist Security Info=True;User ID=a;b;Initial "
      "Catalog=Учёт;Data Source=odbc:Driver={PostgreSQL Unicode};Servername=/run/pg;Port=5432;"
      "use procedure for prepare=0");
  EXPECT_EQ(params.server, "odbc:Driver={PostgreSQL Unicode};Servername=/run/pg;Port=5432");
  EXPECT_EQ(params.user, "a;b");
  EXPECT_EQ(params.password, "p=1");
  EXPECT_EQ(params.database, "Учёт");
}

TEST(ConnectionStringTest, QuotedValuesAndAnyOrder) {
  const ConnectParams params = ParseConnectionString(
      "Foo=bar; data source = \"x;y\" ; initial catalog='it''s' ;Password=' two  ';User ID=u;"
      "Connect Timeout = 5");
  EXPECT_EQ(params.server, "x;y");
  EXPECT_EQ(params.database, "it's");
  EXPECT_EQ(params.password, " two  ");
  EXPECT_EQ(params.user, "u");
  EXPECT_EQ(params.timeout_seconds, 5);
}

TEST(ConnectionStringTest, MalformedTextsAreRefusedClearly) {
  for (const char* bad : {"", ";;;", "garbage", "=x;Data Source=s", "Data Source=", "User ID=u",
                          "Data Source=\"open", "Data Source='a'b", "Provider=SQLOLEDB.1",
                          "Data Source=s;Connect Timeout=-1", "Data Source=s;Connect Timeout=x"}) {
    try {
      ParseConnectionString(bad);
      ADD_FAILURE() << "accepted: " << bad;
    } catch (const DbError& error) {
      EXPECT_NE(std::string(error.what()).find("connection string"), std::string::npos);
    }
  }
  EXPECT_THROW(ParseConnectionString(std::string("Data Source=a\0b", 15)), DbError);
}

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
  params.has_password = true;
  EXPECT_EQ(BuildOdbcConnectionString(params),
            "Driver={PostgreSQL Unicode};Port=5432;DATABASE={db;x};UID=NurvLoader;PWD={p}}w}");

  params.server = "odbc:NurvDsn";
  params.has_password = false;
  EXPECT_EQ(BuildOdbcConnectionString(params), "DSN=NurvDsn;DATABASE={db;x};UID=NurvLoader");

  params.server = "srv,1433;Driver={x}";
  EXPECT_EQ(BuildOdbcConnectionString(params),
            std::string("DRIVER={") + DefaultSqlServerDriver() +
                "};SERVER={srv,1433;Driver={x}}};DATABASE={db;x};UID=NurvLoader");

  params.server = "odbc:  ";
  EXPECT_THROW(BuildOdbcConnectionString(params), DbError);
}

TEST(ConnectionStringTest, OnlyTheNolockHintIsDropped) {
  EXPECT_EQ(StripNolockHint("SELECT vcode FROM UpdatesBLOB (nolock)"),
            "SELECT vcode FROM UpdatesBLOB ");
  EXPECT_EQ(StripNolockHint("select * from UpdatesBLOB ( NOLOCK ) where tdoc = 'PRG'"),
            "select * from UpdatesBLOB  where tdoc = 'PRG'");
  const std::string untouched =
      "select '(nolock)', \"(nolock)\", [(nolock)] from t where f(x) = 1 -- (nolock)\n/* (nolock) "
      "*/";
  EXPECT_EQ(StripNolockHint(untouched), untouched);
  EXPECT_EQ(StripNolockHint("select 'it''s (nolock)' from t (nolock"),
            "select 'it''s (nolock)' from t (nolock");
  EXPECT_EQ(StripNolockHint("x 'unterminated (nolock)"), "x 'unterminated (nolock)");
}

}  // namespace
}  // namespace nurv::db
