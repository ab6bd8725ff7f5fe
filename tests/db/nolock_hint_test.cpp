// The SQL Server table hint dropped for other engines.
#include <gtest/gtest.h>

#include <string>

#include "db/db_internal.h"

namespace nurv::db {
namespace {

TEST(NolockHint, OnlyTheHintIsDropped) {
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
