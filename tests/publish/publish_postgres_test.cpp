// nurv-publish on the PostgreSQL test server through ODBC: the table in PostgreSQL's types, a
// publish and a verify, and a publish the server refuses half-way.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/pg_server.h"
#include "common/scoped_env.h"
#include "publish_fixture.h"
#include "support/sevenzip_fixture.h"

namespace nurv::testing {
namespace {

constexpr char kDatabase[] = "nurvpub";
constexpr char kPublisher[] = "NurvPublisher";
constexpr char kPublisherPassword[] = "Publish#2026";
// May read and delete rows, but not insert them.
constexpr char kNoInsert[] = "NurvNoInsert";
constexpr char kNoInsertPassword[] = "NoInsert#1";

class PublishPostgres : public PublishTest {
 protected:
  void SetUp() override {
    NURV_REQUIRE_SEVENZIP();
    std::string why_not;
    server_ = PgServer::Get(&why_not);
    if (!server_) GTEST_SKIP() << why_not;
    server_->Execute(std::string("CREATE ROLE \"") + kPublisher + "\" LOGIN PASSWORD '" +
                         kPublisherPassword + "'; CREATE ROLE \"" + kNoInsert +
                         "\" LOGIN PASSWORD '" + kNoInsertPassword + "';",
                     "postgres");
    server_->Execute(std::string("CREATE DATABASE ") + kDatabase + " OWNER \"" + kPublisher + "\"",
                     "postgres");
    params_ = {server_->ServerName(), kDatabase, kPublisher, kPublisherPassword};
  }

  std::map<std::string, std::string> ColumnTypes() const {
    db::Connection connection;
    connection.SetParams(params_);
    auto rows = connection.OpenDataset(
        "SELECT column_name, data_type FROM information_schema.columns WHERE table_name = "
        "'updatesblob'");
    std::map<std::string, std::string> types;
    for (rows->First(); !rows->Eof(); rows->Next())
      types[rows->AsString("column_name")] = rows->AsString("data_type");
    return types;
  }

  PgServer* server_ = nullptr;
};

TEST_F(PublishPostgres, InitPublishVerifyAndARefusedPublish) {
  PublishEveryCode();
  const auto types = ColumnTypes();
  EXPECT_EQ(types.at("vcode"), "integer");
  EXPECT_EQ(types.at("tdoc"), "character varying");
  EXPECT_EQ(types.at("caption"), "bigint");
  EXPECT_EQ(types.at("updatedate"), "timestamp without time zone");
  EXPECT_EQ(types.at("fblob"), "bytea");
  // Larger than one chunk of the stream, both ways.
  std::string big;
  for (int i = 0; i < 3 << 20; ++i) big += static_cast<char>(i * 31 % 253);
  ASSERT_EQ(Publish({"publish", "CHM", Source("in/help.chm", big)}).status, 0);
  const PublishRun verify = Publish({"verify"});
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
  EXPECT_EQ(Lines(Publish({"list"}).out).size(), 15u);

  server_->Execute(std::string("GRANT SELECT, DELETE ON UpdatesBLOB TO \"") + kNoInsert + "\"",
                   kDatabase);
  const std::string before = Snapshot();
  params_.user = kNoInsert;
  params_.password = kNoInsertPassword;
  const PublishRun refused = Publish({"publish", "CHM", dir_.Sub("in/help.chm")});
  EXPECT_EQ(refused.status, 3);
  EXPECT_NE(refused.err.find("permission"), std::string::npos) << refused.err;
  params_.user = kPublisher;
  params_.password = kPublisherPassword;
  EXPECT_EQ(Snapshot(), before);

  server_->Execute("UPDATE UpdatesBLOB SET caption = caption + 1 WHERE tdoc = 'CHM'", kDatabase);
  const PublishRun damaged = Publish({"verify"});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.out.find("\tCHM\tHelpNurv.chm\tCRC-32"), std::string::npos) << damaged.out;
}

TEST_F(PublishPostgres, SignedRowsVerifyWithTheKeyAndASignatureMovedToAnotherRowDoesNot) {
  ASSERT_EQ(Publish({"init"}).status, 0);
  const PublishRun keygen = Keygen("keys");
  ASSERT_EQ(keygen.status, 0) << keygen.err;
  const std::string key = dir_.Sub("keys/nurv-publish.key");
  const std::string main = Source("in/main.exe", BuildPeFile({5, 1, 10, 2}, {5, 1, 10, 2}));
  ASSERT_EQ(Publish({"publish", "PRG", main, "--key", key}).status, 0);
  Source("cxp/libcef.dll", "browser");
  Source("cxp/locales/ru.pak", "locale");
  ASSERT_EQ(Publish({"publish-group", "CXP", dir_.Sub("cxp"), "--key", key}).status, 0);
  const std::string public_line = Lines(keygen.out).back();
  const PublishRun verify = Publish({"verify", "--public-key", public_line});
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;

  server_->Execute(
      "DELETE FROM UpdatesSign WHERE vcode = 2; UPDATE UpdatesSign SET vcode = 2 "
      "WHERE vcode = 3",
      kDatabase);
  const PublishRun moved = Publish({"verify", "--public-key", public_line});
  EXPECT_EQ(moved.status, 1);
  EXPECT_EQ(Lines(moved.out),
            (std::vector<std::string>{
                "2\tCXP\tlibcef.dll\tподпись не верна: строка изменена после подписи",
                "3\tCXP\tlocales\\ru.pak\tстрока не подписана"}))
      << moved.out;
}

TEST_F(PublishPostgres, WithoutPasswordOptionThePasswordComesFromTheEnvironment) {
  params_.password.reset();
  ScopedEnv env;
  env.Set("NURV_PUBLISH_PASSWORD", kPublisherPassword);
  const PublishRun init = Publish({"init"});
  EXPECT_EQ(init.status, 0) << init.err;
}

}  // namespace
}  // namespace nurv::testing
