// The database layer on real SQLite update databases.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/every_blob.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "db/database.h"

namespace nurv {
namespace {

using namespace std::chrono;
using testing::UpdateRow;

constexpr char kCatalogue[] =
    "SELECT vcode, icode, tdoc, version, name, caption, result, wdate, updatedate, repl FROM "
    "UpdatesBLOB (nolock)";

db::ConnectParams Login(const std::string& server, const std::string& database = "nurv") {
  return {server, database, "NurvLoader", "NurvUpd#6300"};
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const db::DbError& error) {
    return error.what();
  }
  return "(no error)";
}

std::optional<db::ErrorKind> KindOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const db::DbError& error) {
    return error.kind();
  }
  return std::nullopt;
}

void Exec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

class SqliteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Sub("updates.db");
    testing::CreateUpdateDatabase(
        path_, {
                   {1,
                    "PRG",
                    "5.1.10.2",
                    "nurv.exe",
                    std::int64_t{305419896},
                    "2024-03-01 10:15:59",
                    std::string("PRG-bytes"),
                    {}},
                   {2,
                    "DOC",
                    "1",
                    "Бланк",
                    std::string("-7"),
                    "2024-03-02 08:00:00.125",
                    std::string(""),
                    {}},
                   {3, "DOC", {}, "b2", std::string("abc"), {}, {}, {}},
                   {4, "O'K", "2", "q", std::monostate{}, "2024-13-01 00:00:00", {}, {}},
                   {5, "doc  ", "3", "padded", std::int64_t{5}, "bad", {}, {}},
               });
    connection_.SetParams(Login(testing::SqliteServerName(path_)));
  }

  testing::TempDir dir_;
  std::string path_;
  db::Connection connection_;
};

TEST_F(SqliteTest, CatalogueFilterCountAndNavigation) {
  connection_.Open();
  auto data = connection_.OpenDataset(kCatalogue);
  EXPECT_EQ(data->RecordCount(), 5);

  data->SetFiltered(false);
  data->SetFilter(db::RowFilter{"tdoc", "DOC"});
  EXPECT_EQ(data->RecordCount(), 5) << "the filter acts only while filtering is on";
  data->SetFiltered(true);
  // Like SQL Server's collation: case and trailing blanks do not count.
  ASSERT_EQ(data->RecordCount(), 3);
  std::vector<std::int64_t> seen;
  for (data->First(); !data->Eof(); data->Next()) seen.push_back(data->AsInt64("vcode"));
  EXPECT_EQ(seen, (std::vector<std::int64_t>{2, 3, 5}));
  data->Next();
  EXPECT_TRUE(data->Eof());
  EXPECT_THROW(data->Field("vcode"), db::DbError);

  data->SetFilter(db::RowFilter{"tdoc", "O'K"});
  ASSERT_EQ(data->RecordCount(), 1);
  EXPECT_EQ(data->AsString("name"), "q");

  data->SetFilter(db::RowFilter{"tdoc", "NONE"});
  EXPECT_EQ(data->RecordCount(), 0);
  EXPECT_TRUE(data->Eof());

  data->SetFiltered(false);
  EXPECT_EQ(data->RecordCount(), 5);
  EXPECT_EQ(data->AsInt64("VCODE"), 1) << "column names match without regard to case";
}

TEST_F(SqliteTest, AFilterOnAnUnknownColumnIsRefusedAndNoneShowsEveryRow) {
  auto data = connection_.OpenDataset(kCatalogue);
  data->SetFiltered(true);
  EXPECT_THROW(data->SetFilter(db::RowFilter{"nosuch", "PRG"}), db::DbError);
  data->SetFilter(std::nullopt);
  EXPECT_EQ(data->RecordCount(), 5);
}

TEST_F(SqliteTest, LocateFindsWithinTheFilteredRows) {
  auto data = connection_.OpenDataset(kCatalogue);
  data->SetFilter(db::RowFilter{"tdoc", "DOC"});
  data->SetFiltered(true);
  ASSERT_TRUE(data->Locate("vcode", Value{std::int64_t{3}}));
  EXPECT_EQ(data->AsString("name"), "b2");
  EXPECT_FALSE(data->Locate("vcode", Value{std::int64_t{1}})) << "outside the filter";
  EXPECT_EQ(data->AsString("name"), "b2") << "position unchanged";
  EXPECT_TRUE(data->Locate("vcode", Value{std::string("5")}));
  EXPECT_FALSE(data->Locate("version", Value{NullValue{}})) << "NULL equals nothing";
  EXPECT_THROW(data->Locate("nosuch", Value{std::int64_t{1}}), db::DbError);
}

TEST_F(SqliteTest, TypedReadsConvertOrRaise) {
  auto data = connection_.OpenDataset(kCatalogue);
  data->SetFiltered(true);
  const auto at = [&](std::int64_t vcode) {
    data->SetFiltered(false);
    ASSERT_TRUE(data->Locate("vcode", Value{vcode}));
  };
  at(1);
  EXPECT_EQ(data->AsInt64("caption"), 305419896);
  EXPECT_EQ(data->AsDateTime("updatedate"),
            DateTime(local_days(2024y / March / 1).time_since_epoch()) + 10h + 15min + 59s);
  EXPECT_EQ(data->AsString("vcode"), "1");
  at(2);
  EXPECT_EQ(data->AsInt64("caption"), -7);
  EXPECT_EQ(data->AsString("name"), "Бланк");
  EXPECT_EQ(data->AsDateTime("updatedate"),
            DateTime(local_days(2024y / March / 2).time_since_epoch()) + 8h + 125ms);
  at(3);
  EXPECT_TRUE(IsNull(data->Field("version")));
  EXPECT_THROW(data->AsString("version"), db::ConversionError);
  EXPECT_THROW(data->AsDateTime("updatedate"), db::ConversionError);
  try {
    data->AsInt64("caption");
    ADD_FAILURE();
  } catch (const db::ConversionError& error) {
    EXPECT_NE(std::string(error.what()).find("'abc'"), std::string::npos) << error.what();
  }
  at(4);
  EXPECT_THROW(data->AsInt64("caption"), db::ConversionError);
  EXPECT_THROW(data->AsDateTime("updatedate"), db::ConversionError) << "month 13";
  at(5);
  EXPECT_THROW(data->AsDateTime("updatedate"), db::ConversionError);
  EXPECT_THROW(data->Field("fblob"), db::DbError) << "not in the catalogue";
}

TEST_F(SqliteTest, ScalarQueries) {
  EXPECT_EQ(connection_.ExecuteScalar("select version from UpdatesBLOB where tdoc = 'PRG'"),
            Value{std::string("5.1.10.2")});
  EXPECT_TRUE(connection_.IsOpen()) << "a query opens a closed connection again";
  EXPECT_TRUE(IsNull(connection_.ExecuteScalar("select version from UpdatesBLOB where vcode = 3")));
  EXPECT_THROW(connection_.ExecuteScalar("select version from UpdatesBLOB where tdoc = 'LDR'"),
               db::DbError);
  EXPECT_THROW(connection_.ExecuteScalar("select 1; select 2"), db::DbError);
}

TEST_F(SqliteTest, ContentsQueriesStreamBlobsOnDemand) {
  for (const char* sql : {"select * from UpdatesBLOB (nolock) where tdoc = 'DOC'",
                          "select * from UpdatesBLOB where tdoc = 'DOC'"}) {
    auto data = connection_.OpenDataset(sql);
    ASSERT_EQ(data->RecordCount(), 2) << sql;
    ASSERT_TRUE(data->Locate("vcode", Value{std::int64_t{2}}));
    EXPECT_FALSE(data->BlobIsNull("fblob")) << "an empty BLOB is not NULL";
    EXPECT_EQ(testing::BlobBytes(*data), "");
    ASSERT_TRUE(data->Locate("vcode", Value{std::int64_t{3}}));
    EXPECT_TRUE(data->BlobIsNull("fblob"));
    EXPECT_THROW(testing::BlobBytes(*data), db::DbError);
  }
  auto data = connection_.OpenDataset("select * from UpdatesBLOB (nolock) where tdoc = 'PRG'");
  EXPECT_EQ(testing::BlobBytes(*data), "PRG-bytes");
}

TEST_F(SqliteTest, BlobsFetchedWithTheirRowsAreTheBytesReadOneByOne) {
  const std::string sql = "select vcode, fblob from UpdatesBLOB where vcode <= 3 order by vcode";
  const std::vector<std::string> expected{"PRG-bytes", "", "NULL"};
  for (const bool with_rows : {true, false})
    EXPECT_EQ(testing::EveryBlob(connection_, sql, with_rows), expected) << with_rows;
}

TEST_F(SqliteTest, LargeBlobRoundTripsByCrc) {
  std::string bytes(5u << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  testing::WriteFile(dir_.Sub("source.bin"), bytes);
  testing::AddUpdateRows(
      path_, {{9, "CHM", {}, "HelpNurv.chm", std::int64_t{0}, {}, {}, dir_.Sub("source.bin")}});
  auto data = connection_.OpenDataset("select * from UpdatesBLOB (nolock) where tdoc = 'CHM'");
  ASSERT_EQ(data->RecordCount(), 1);
  EXPECT_EQ(testing::Crc32Of(testing::BlobBytes(*data)), testing::Crc32Of(bytes));
}

TEST_F(SqliteTest, UnreachableAndBrokenDatabasesGiveClearMessages) {
  db::Connection missing;
  missing.SetParams(Login(testing::SqliteServerName(dir_.Sub("missing.db"))));
  EXPECT_NE(ErrorOf([&] { missing.Open(); }).find("ConnectionOpen (Connect())"), std::string::npos);
  EXPECT_EQ(KindOf([&] { missing.Open(); }), db::ErrorKind::Unreachable);
  EXPECT_FALSE(std::filesystem::exists(dir_.Sub("missing.db"))) << "never created";
  EXPECT_FALSE(missing.IsOpen());

  db::Connection folder;
  folder.SetParams(Login(testing::SqliteServerName(dir_.path())));
  EXPECT_NE(ErrorOf([&] { folder.Open(); }).find("ConnectionOpen (Connect())"), std::string::npos);

  db::Connection no_database;
  no_database.SetParams(Login(testing::SqliteServerName(path_), ""));
  EXPECT_NE(ErrorOf([&] { no_database.Open(); }).find("Initial Catalog"), std::string::npos);

  testing::WriteFile(dir_.Sub("text.db"), std::string(4096, 'x'));
  db::Connection not_sqlite;
  not_sqlite.SetParams(Login(testing::SqliteServerName(dir_.Sub("text.db"))));
  EXPECT_NE(ErrorOf([&] { not_sqlite.Open(); }).find("not a database"), std::string::npos);
  EXPECT_EQ(KindOf([&] { not_sqlite.Open(); }), db::ErrorKind::Other);

  Exec(dir_.Sub("other.db"), "CREATE TABLE UpdatesBLOB (vcode INTEGER, tdoc TEXT)");
  db::Connection other;
  other.SetParams(Login(testing::SqliteServerName(dir_.Sub("other.db"))));
  EXPECT_NE(ErrorOf([&] { other.OpenDataset(kCatalogue); }).find("no such column"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { other.OpenDataset("select * from Missing"); }).find("no such table"),
            std::string::npos);
}

TEST_F(SqliteTest, WrongColumnTypesRaiseConversionErrorsNotCrashes) {
  Exec(path_,
       "INSERT INTO UpdatesBLOB (vcode, tdoc, caption, updatedate, fblob) VALUES "
       "(20, 'ODD', x'0102', 3.5, 'text in the blob column'),"
       "(21, 'ODD', 1e300, x'00', 42)");
  auto data = connection_.OpenDataset("select * from UpdatesBLOB where tdoc = 'ODD'");
  ASSERT_TRUE(data->Locate("vcode", Value{std::int64_t{20}}));
  EXPECT_THROW(data->AsInt64("caption"), db::DbError) << "a BLOB caption";
  EXPECT_THROW(data->AsDateTime("updatedate"), db::ConversionError);
  EXPECT_FALSE(data->BlobIsNull("fblob"));
  EXPECT_EQ(testing::BlobBytes(*data), "text in the blob column");
  ASSERT_TRUE(data->Locate("vcode", Value{std::int64_t{21}}));
  EXPECT_THROW(data->AsInt64("caption"), db::ConversionError) << "too large for 64 bits";
  EXPECT_THROW(data->AsDateTime("updatedate"), db::DbError);
}

TEST_F(SqliteTest, OpenedReadOnly) {
  connection_.Open();
  const std::string message =
      ErrorOf([&] { connection_.ExecuteScalar("DELETE FROM UpdatesBLOB RETURNING vcode"); });
  EXPECT_NE(message.find("permission"), std::string::npos) << message;
  EXPECT_EQ(KindOf([&] { connection_.ExecuteScalar("DELETE FROM UpdatesBLOB RETURNING vcode"); }),
            db::ErrorKind::NoPermission);
  auto data = connection_.OpenDataset(kCatalogue);
  EXPECT_EQ(data->RecordCount(), 5);
}

}  // namespace
}  // namespace nurv
