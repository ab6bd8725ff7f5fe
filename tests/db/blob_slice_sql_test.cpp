// The statements that read a BLOB in slices on SQL Server, where no server runs for the tests:
// the texts an administrator sees in a trace.
#include <gtest/gtest.h>

#include <string>

#include "db/db_internal.h"

namespace nurv::db {
namespace {

TEST(BlobSliceSql, SqlServerStatementsKeepTheQueryAndItsHint) {
  const std::string query = "select * from UpdatesBLOB (nolock) where tdoc = 'PRG'";
  EXPECT_EQ(
      RowsWithBlobLengths(SqlDialect::SqlServer, query, {"vcode", "na]me", "fblob"},
                          {false, false, true}),
      "SELECT [vcode], [na]]me], DATALENGTH([fblob]) AS [fblob] FROM (" + query + ") AS nurv_rows");
  const BlobSlices slices{SqlDialect::SqlServer, query, "fblob", "vcode", SqlLiteral("7'")};
  EXPECT_EQ(slices.LengthSql(),
            "SELECT DATALENGTH([fblob]) FROM (" + query + ") AS nurv_rows WHERE [vcode] = '7'''");
  EXPECT_EQ(slices.SliceSql(4194304, 1), "SELECT SUBSTRING([fblob], 4194305, 1) FROM (" + query +
                                             ") AS nurv_rows WHERE [vcode] = '7'''");
}

}  // namespace
}  // namespace nurv::db
