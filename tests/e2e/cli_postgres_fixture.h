#pragma once
#include <string>

#include "common/pg_server.h"
#include "e2e_fixture.h"

namespace nurv::testing {

// The loader against a real PostgreSQL server through ODBC, started by the tests themselves;
// the connection comes from nurv.ini.
class CliPostgresTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    std::string why_not;
    server_ = PgServer::Get(&why_not);
    if (server_ == nullptr) GTEST_SKIP() << why_not;
    complex_.registry().Clear();
    complex_.WriteIni(server_->ServerName(), PgServer::kDatabase);
  }
  PgServer* server_ = nullptr;
};

}  // namespace nurv::testing
