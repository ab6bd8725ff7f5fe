// The plain-file update of a 256 MiB row on a real SQLite table, without and with a trusted key:
// the bytes stream from the BLOB into the staging file's one handle, CRC-32 (and SHA-256 with a
// key) folded in on the way. The yardstick is BM_SqliteBlobRead64k, the same bytes read and
// written.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "base/date_utils.h"
#include "common/fake_ui.h"
#include "db/database.h"
#include "loader/catalogue_filter.h"
#include "loader/update_context.h"
#include "loader/update_plain.h"
#include "platform/sha256.h"
#include "rules/module_catalogue.h"
#include "support/signing.h"

namespace {

namespace fs = std::filesystem;
constexpr int kBytes = 256 << 20;
constexpr char kDate[] = "2024-05-01 10:00:00";

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
}

// A table with one CHM row of kBytes and its signature by `key`.
struct SignedTable {
  fs::path dir = fs::temp_directory_path() / ("nurv-bench-plain-" + std::to_string(::getpid()));
  std::string db_path = (dir / "updates.db").string();
  nurv::KeyPair key = nurv::GenerateKeyPair();

  SignedTable() {
    fs::create_directories(dir / "Help");
    std::vector<std::uint8_t> chunk(1 << 20);
    std::uint32_t crc = 0xFFFFFFFFu;
    nurv::platform::Sha256 sha256;
    sqlite3* db = nullptr;
    sqlite3_open(db_path.c_str(), &db);
    Exec(db,
         "CREATE TABLE UpdatesBLOB (vcode INTEGER PRIMARY KEY, icode, tdoc TEXT, version TEXT, "
         "name TEXT, caption, result, wdate, updatedate TEXT, repl, fblob BLOB)");
    Exec(db, "INSERT INTO UpdatesBLOB (vcode, tdoc, updatedate, fblob) VALUES (1, 'CHM', '" +
                 std::string(kDate) + "', zeroblob(" + std::to_string(kBytes) + "))");
    sqlite3_blob* blob = nullptr;
    sqlite3_blob_open(db, "main", "UpdatesBLOB", "fblob", 1, 1, &blob);
    for (int offset = 0; offset < kBytes; offset += static_cast<int>(chunk.size())) {
      for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<std::uint8_t>((offset + i) * 2654435761u >> 11);
      sqlite3_blob_write(blob, chunk.data(), static_cast<int>(chunk.size()), offset);
      crc = nurv::Crc32UpdateBlock(crc, chunk.data(), chunk.size());
      sha256.Update(chunk.data(), chunk.size());
    }
    sqlite3_blob_close(blob);
    nurv::SignedFields fields{"CHM", std::nullopt, std::nullopt, *nurv::ParseDateTimeText(kDate),
                              static_cast<std::int64_t>(~crc)};
    fields.landed = fields.stored = sha256.Finish();
    Exec(db, "UPDATE UpdatesBLOB SET caption = " + std::to_string(fields.caption));
    Exec(db, "CREATE TABLE UpdatesSign (vcode INTEGER, sha256 TEXT, signature TEXT, keyid TEXT)");
    Exec(db, "INSERT INTO UpdatesSign VALUES (1, '" + nurv::HexText(nurv::BytesOf(fields.landed)) +
                 "', '" +
                 nurv::HexText(nurv::BytesOf(
                     nurv::SignMessage(nurv::SignedMessage(fields), key.secret_key))) +
                 "', '" + nurv::KeyId(key.public_key) + "')");
    sqlite3_close(db);
  }
  ~SignedTable() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
};

SignedTable& Table() {
  static SignedTable table;
  return table;
}

// Arg 0: no key; arg 1: the row's key trusted.
void BM_PlainUpdate256(benchmark::State& state) {
  SignedTable& table = Table();
  nurv::testing::FakeUi ui;
  nurv::SettingsRecord settings;
  settings.PathHelp = (table.dir / "Help").string();
  nurv::db::Connection connection;
  connection.SetParams({"sqlite:" + table.db_path, "n", "u", "x"});
  connection.Open();
  auto catalogue = connection.OpenDataset(std::string(nurv::kCatalogueQuery));
  nurv::UpdateContext ctx{ui, connection, *catalogue, settings, "/nonexistent"};
  if (state.range(0) == 1)
    ctx.trusted_keys = nurv::TrustedKeys({nurv::PublicKeyLine(table.key.public_key)});
  const nurv::ModuleEntry& chm = nurv::ModuleByCode("CHM");
  const std::string destination = nurv::ModulePath(chm, settings);
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(destination);
    state.ResumeTiming();
    if (nurv::UpdatePlainFile(ctx, chm, destination) != nurv::StageResult::Written)
      state.SkipWithError("the row was not written");
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_PlainUpdate256)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
