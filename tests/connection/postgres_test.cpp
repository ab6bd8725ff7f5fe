// The ODBC backend against a real PostgreSQL server reached through psqlODBC.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/every_blob.h"
#include "common/pg_server.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "connection/loader_login.h"
#include "connection/open_connection.h"
#include "db/database.h"

namespace nurv {
namespace {

using testing::PgServer;

constexpr char kCatalogue[] =
    "SELECT vcode, icode, tdoc, version, name, caption, result, wdate, updatedate, repl FROM "
    "UpdatesBLOB (nolock)";

class PostgresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why_not;
    server_ = PgServer::Get(&why_not);
    if (!server_) GTEST_SKIP() << "PostgreSQL cannot be started here: " << why_not;
    server_->Execute("TRUNCATE UpdatesBLOB");
  }

  // The loader's own way in: OpenConnection with the loader's login.
  bool Connect(db::Connection& connection, const std::string& server, const std::string& database,
               const std::string& user, const std::string& password) {
    last_ = OpenConnection(connection, server, database, user, password);
    return last_.open;
  }

  PgServer* server_ = nullptr;
  ConnectResult last_;
};

TEST_F(PostgresTest, SeparatorsInNamesCannotInjectAttributes) {
  // A non-ASCII name reaches the server unchanged.
  server_->Execute("DROP DATABASE IF EXISTS \"обновления\"", "postgres");
  server_->Execute("CREATE DATABASE \"обновления\"", "postgres");
  db::Connection cyrillic;
  EXPECT_TRUE(
      Connect(cyrillic, server_->ServerName(), "обновления", kLoaderLogin, LoaderPassword()))
      << (last_.error ? last_.error->what() : "");

  // Attempts to smuggle the superuser's login in through the other fields all fail.
  db::Connection by_database;
  EXPECT_FALSE(Connect(by_database, server_->ServerName(),
                       "nurvupd;UID=postgres;PWD=pg-super-secret", kLoaderLogin, "wrong"));
  db::Connection by_braces;
  EXPECT_FALSE(Connect(by_braces, server_->ServerName(),
                       "nurvupd};UID={postgres};PWD={pg-super-secret", kLoaderLogin, "wrong"));
  db::Connection by_user;
  EXPECT_FALSE(Connect(by_user, server_->ServerName(), PgServer::kDatabase,
                       "NurvLoader};PWD={wrong};UID={postgres", "pg-super-secret"));
  db::Connection by_password;
  EXPECT_FALSE(Connect(by_password, server_->ServerName(), PgServer::kDatabase, "postgres",
                       "x};PWD={pg-super-secret"));
  EXPECT_FALSE(by_password.IsOpen());

  // A plain server name goes to the SQL Server driver as one brace-quoted value: the text after
  // ';' must not turn into attributes that would reach PostgreSQL.
  db::Connection by_server;
  EXPECT_FALSE(Connect(by_server,
                       "127.0.0.1;Driver={PostgreSQL Unicode};Servername=" + server_->socket_dir() +
                           ";Port=" + std::to_string(server_->port()),
                       PgServer::kDatabase, kLoaderLogin, LoaderPassword()));
  EXPECT_FALSE(by_server.IsOpen());
}

TEST_F(PostgresTest, CatalogueReadsNullsCaptionsAndDates) {
  server_->Execute(
      "INSERT INTO UpdatesBLOB (vcode, tdoc, version, name, caption, updatedate, fblob) VALUES "
      "(1, 'PRG', '5.1.10.2', 'nurv.exe', '305419896', '2024-03-01 10:15:59.250', "
      "'\\x00ff41'::bytea),"
      "(2, 'PRG', NULL, 'n2', 'abc', NULL, NULL),"
      "(3, 'DOC', '1', 'Бланк №1', '-7', '2023-12-31 23:59:00', ''::bytea)");
  db::Connection connection;
  ASSERT_TRUE(Connect(connection, server_->ServerName(), PgServer::kDatabase, kLoaderLogin,
                      LoaderPassword()));

  EXPECT_TRUE(
      IsNull(connection.ExecuteScalar("select version from UpdatesBLOB where tdoc = 'PRG' "
                                      "and vcode = 2")));
  EXPECT_THROW(connection.ExecuteScalar("select version from UpdatesBLOB where tdoc = 'XXX'"),
               db::DbError);

  auto catalogue = connection.OpenDataset(kCatalogue);
  catalogue->SetFiltered(false);
  catalogue->SetFilter(db::RowFilter{"tdoc", "PRG"});
  catalogue->SetFiltered(true);
  ASSERT_EQ(catalogue->RecordCount(), 2);
  ASSERT_TRUE(catalogue->Locate("vcode", Value{std::int64_t{1}}));
  EXPECT_EQ(catalogue->AsInt64("caption"), 305419896);
  EXPECT_EQ(catalogue->AsString("version"), "5.1.10.2");
  const DateTime stamp = catalogue->AsDateTime("updatedate");
  using namespace std::chrono;
  EXPECT_EQ(stamp,
            DateTime(local_days(2024y / March / 1).time_since_epoch()) + 10h + 15min + 59s + 250ms);

  ASSERT_TRUE(catalogue->Locate("vcode", Value{std::int64_t{2}}));
  EXPECT_TRUE(IsNull(catalogue->Field("version")));
  EXPECT_THROW(catalogue->AsInt64("caption"), db::ConversionError);
  EXPECT_THROW(catalogue->AsDateTime("updatedate"), db::ConversionError);

  catalogue->SetFilter(db::RowFilter{"tdoc", "DOC"});
  ASSERT_EQ(catalogue->RecordCount(), 1);
  EXPECT_EQ(catalogue->AsString("name"), "Бланк №1");
  EXPECT_EQ(catalogue->AsInt64("caption"), -7);

  // The same column as an integer type on the server.
  server_->Execute(
      "ALTER TABLE UpdatesBLOB ALTER COLUMN caption TYPE bigint USING "
      "(CASE WHEN caption ~ '^-?[0-9]+$' THEN caption::bigint END)");
  auto typed = connection.OpenDataset(kCatalogue);
  server_->Execute("ALTER TABLE UpdatesBLOB ALTER COLUMN caption TYPE text");
  typed->SetFilter(db::RowFilter{"tdoc", "PRG"});
  typed->SetFiltered(true);
  ASSERT_TRUE(typed->Locate("vcode", Value{std::int64_t{1}}));
  EXPECT_EQ(typed->Field("caption"), Value{std::int64_t{305419896}});
  ASSERT_TRUE(typed->Locate("vcode", Value{std::int64_t{2}}));
  EXPECT_THROW(typed->AsInt64("caption"), db::ConversionError);

  testing::TempDir dir;
  auto contents = connection.OpenDataset("select * from UpdatesBLOB (nolock) where tdoc = 'PRG'");
  ASSERT_TRUE(contents->Locate("vcode", Value{std::int64_t{1}}));
  EXPECT_FALSE(contents->BlobIsNull("fblob"));
  EXPECT_EQ(testing::BlobBytes(*contents), std::string("\x00\xff\x41", 3));
  ASSERT_TRUE(contents->Locate("vcode", Value{std::int64_t{2}}));
  EXPECT_TRUE(contents->BlobIsNull("fblob"));
  EXPECT_THROW(testing::BlobBytes(*contents), db::DbError);

  auto group = connection.OpenDataset("select * from UpdatesBLOB where tdoc = 'DOC'");
  ASSERT_FALSE(group->Eof());
  EXPECT_FALSE(group->BlobIsNull("fblob"));
  EXPECT_EQ(testing::BlobBytes(*group), "");
}

TEST_F(PostgresTest, RefusedReadSaysPermission) {
  db::Connection no_select;
  ASSERT_TRUE(Connect(no_select, server_->ServerName(), PgServer::kDatabase,
                      PgServer::kNoSelectLogin, PgServer::kNoSelectPassword));
  try {
    no_select.OpenDataset(kCatalogue);
    ADD_FAILURE() << "the read was not refused";
  } catch (const db::DbError& error) {
    EXPECT_NE(std::string(error.what()).find("permission"), std::string::npos) << error.what();
    EXPECT_EQ(error.kind(), db::ErrorKind::NoPermission);
  }

  server_->Execute(std::string("REVOKE SELECT ON UpdatesBLOB FROM \"") + kLoaderLogin + "\"");
  db::Connection revoked;
  ASSERT_TRUE(
      Connect(revoked, server_->ServerName(), PgServer::kDatabase, kLoaderLogin, LoaderPassword()));
  std::string message;
  try {
    revoked.OpenDataset(kCatalogue);
  } catch (const db::DbError& error) {
    message = error.what();
  }
  server_->Execute(std::string("GRANT SELECT ON UpdatesBLOB TO \"") + kLoaderLogin + "\"");
  EXPECT_NE(message.find("permission"), std::string::npos) << message;
}

// The process's peak resident memory since the last reset, and the reset (Linux).
std::int64_t PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6));
  return 0;
}
TEST_F(PostgresTest, BlobsFetchedWithTheirRowsAreTheBytesReadOneByOne) {
  // Beyond one chunk of the driver's reads (1 MiB).
  const std::string large = testing::IncompressibleBytes((5u << 20) / 2, 3);
  server_->Execute(
      "INSERT INTO UpdatesBLOB (vcode, tdoc, name, fblob) VALUES (1, 'PRG', 'a', 'PRG-bytes'), "
      "(2, 'DOC', 'b', ''), (3, 'DOC', 'c', NULL), (4, 'CHM', 'd', pg_read_binary_file('" +
      server_->MakeServerReadableFile("large.bin", large) + "'))");
  db::Connection connection;
  ASSERT_TRUE(Connect(connection, server_->ServerName(), PgServer::kDatabase, kLoaderLogin,
                      LoaderPassword()));
  const std::string sql = "select vcode, fblob from UpdatesBLOB order by vcode";
  const std::vector<std::string> expected{"PRG-bytes", "", "NULL", large};
  for (const bool with_rows : {true, false})
    EXPECT_EQ(testing::EveryBlob(connection, sql, with_rows), expected) << with_rows;
}

void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

TEST_F(PostgresTest, LargeBlobIsStreamedToAFile) {
  // 64 MiB: a random mebibyte, each copy with its own first bytes.
  std::string bytes(64u << 20, '\0');
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < (1u << 20); ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  for (std::size_t copy = 1; copy < 64; ++copy) {
    std::memcpy(&bytes[copy << 20], bytes.data(), 1u << 20);
    std::memcpy(&bytes[copy << 20], &copy, sizeof copy);
  }
  const std::uint32_t crc = testing::Crc32Of(bytes);
  const std::string source = server_->MakeServerReadableFile("big.bin", bytes);
  bytes = std::string();
  server_->Execute(
      "INSERT INTO UpdatesBLOB (vcode, tdoc, version, name, caption, fblob) VALUES "
      "(7, 'PRG', '1.0.0.1', 'nurv.exe', '" +
      std::to_string(crc) + "', pg_read_binary_file('" + source + "'))");

  db::Connection connection;
  ASSERT_TRUE(Connect(connection, server_->ServerName(), PgServer::kDatabase, kLoaderLogin,
                      LoaderPassword()));
  ResetPeakRss();
  [[maybe_unused]] const std::int64_t before = PeakRssKiB();
  auto contents = connection.OpenDataset("select * from UpdatesBLOB (nolock) where tdoc = 'PRG'");
  ASSERT_EQ(contents->RecordCount(), 1);
  std::uint32_t written_crc = 0;
  std::uint64_t written_size = 0;
  contents->ReadBlob("fblob", [&](const std::uint8_t* data, std::size_t size) {
    written_crc = static_cast<std::uint32_t>(crc32(written_crc, data, static_cast<uInt>(size)));
    written_size += size;
  });
  // The driver holds a slice at a time (4 MiB, with its hex text and copies about 25 MiB), never
  // the whole BLOB (64 MiB, and 128 MiB of hex text besides). AddressSanitizer keeps freed
  // memory in quarantine, so there the figure says nothing.
#ifndef __SANITIZE_ADDRESS__
  EXPECT_LT(PeakRssKiB() - before, 48 << 10);
#endif
  EXPECT_EQ(written_size, 64u << 20);
  EXPECT_EQ(written_crc, crc);
  EXPECT_EQ(static_cast<std::uint32_t>(contents->AsInt64("caption")), crc);
}

}  // namespace
}  // namespace nurv
