// The database layer: streaming a large BLOB from SQLite to a file (against SQLite's own
// incremental BLOB reads in 64 KiB chunks written to a file, and against `cp` of the same bytes,
// with the growth of peak memory) and opening the catalogue over many rows.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/database.h"
#include "loader/staged_file.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kBlobBytes = 256ll << 20;
constexpr int kCatalogueRows = 10000;

std::int64_t StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::atoll(line.c_str() + std::string(field).size());
  return 0;
}

// Resets the peak-RSS mark (Linux), so the next VmHWM is the peak of what follows.
void ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(message);
  }
}

const char kColumns[] =
    "CREATE TABLE UpdatesBLOB (vcode INTEGER, icode, tdoc TEXT, version TEXT, name TEXT, caption, "
    "result, wdate, updatedate TEXT, repl, fblob BLOB)";

struct Fixture {
  std::string dir;
  std::string blob_db, catalogue_db, raw_file;

  Fixture() {
    dir = (fs::temp_directory_path() / ("nurv-bench-" + std::to_string(::getpid()))).string();
    fs::create_directories(dir);
    blob_db = dir + "/blob.db";
    catalogue_db = dir + "/catalogue.db";
    raw_file = dir + "/raw.bin";

    std::vector<char> chunk(1 << 20);
    sqlite3* db = nullptr;
    sqlite3_open(blob_db.c_str(), &db);
    Exec(db, kColumns);
    Exec(db, "INSERT INTO UpdatesBLOB (vcode, tdoc, fblob) VALUES (1, 'PRG', zeroblob(" +
                 std::to_string(kBlobBytes) + "))");
    sqlite3_blob* blob = nullptr;
    sqlite3_blob_open(db, "main", "UpdatesBLOB", "fblob", 1, 1, &blob);
    std::ofstream raw(raw_file, std::ios::binary);
    for (std::int64_t offset = 0; offset < kBlobBytes;
         offset += static_cast<std::int64_t>(chunk.size())) {
      for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>((static_cast<std::uint64_t>(offset) + i) * 2654435761u >> 11);
      sqlite3_blob_write(blob, chunk.data(), static_cast<int>(chunk.size()),
                         static_cast<int>(offset));
      raw.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    sqlite3_blob_close(blob);
    sqlite3_close(db);

    sqlite3_open(catalogue_db.c_str(), &db);
    Exec(db, kColumns);
    Exec(db, "BEGIN");
    for (int i = 1; i <= kCatalogueRows; ++i)
      Exec(db, "INSERT INTO UpdatesBLOB VALUES (" + std::to_string(i) + ", " + std::to_string(i) +
                   ", '" + (i % 7 == 0 ? "PRG" : "DOC") + "', '5.1." + std::to_string(i) +
                   ".2', 'file" + std::to_string(i) + ".doc', " + std::to_string(i * 977) +
                   ", NULL, '2024-01-01 00:00:00', '2024-03-01 10:15:59', 0, randomblob(64))");
    Exec(db, "COMMIT");
    sqlite3_close(db);
  }
  ~Fixture() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
};

Fixture& Files() {
  static Fixture fixture;
  return fixture;
}

nurv::db::ConnectParams Login(const std::string& path) {
  return {"sqlite:" + path, "nurv", "NurvLoader", "x"};
}

void BM_SqliteBlobToFile(benchmark::State& state) {
  Fixture& files = Files();
  const std::string out = files.dir + "/out.7z";
  std::int64_t growth_kib = 0;
  for (auto _ : state) {
    const std::int64_t idle = StatusKiB("VmRSS:");
    ResetPeak();
    nurv::db::Connection connection;
    connection.SetParams(Login(files.blob_db));
    auto data = connection.OpenDataset("select * from UpdatesBLOB (nolock) where tdoc = 'PRG'");
    nurv::SaveBlobAsNewFile(*data, out);
    growth_kib = std::max(growth_kib, StatusKiB("VmHWM:") - idle);
  }
  state.SetBytesProcessed(state.iterations() * kBlobBytes);
  state.counters["peak_growth_MiB"] = static_cast<double>(growth_kib) / 1024.0;
}
BENCHMARK(BM_SqliteBlobToFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The yardstick of BM_SqliteBlobToFile: sqlite3_blob_read in 64 KiB chunks, each written to the
// file as it comes.
void BM_SqliteBlobRead64k(benchmark::State& state) {
  Fixture& files = Files();
  const std::string out = files.dir + "/chunks.7z";
  std::vector<char> chunk(64 << 10);
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_blob* blob = nullptr;
    if (sqlite3_open_v2(files.blob_db.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_blob_open(db, "main", "UpdatesBLOB", "fblob", 1, 0, &blob) != SQLITE_OK) {
      sqlite3_close(db);
      return state.SkipWithError("cannot open the BLOB");
    }
    const int size = sqlite3_blob_bytes(blob);
    const int target = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = target >= 0;
    for (int offset = 0; ok && offset < size;) {
      const int n = std::min(static_cast<int>(chunk.size()), size - offset);
      ok = sqlite3_blob_read(blob, chunk.data(), n, offset) == SQLITE_OK &&
           ::write(target, chunk.data(), static_cast<std::size_t>(n)) == n;
      offset += n;
    }
    if (target >= 0) ::close(target);
    sqlite3_blob_close(blob);
    sqlite3_close(db);
    if (!ok) return state.SkipWithError("reading or writing the BLOB failed");
  }
  state.SetBytesProcessed(state.iterations() * kBlobBytes);
}
BENCHMARK(BM_SqliteBlobRead64k)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CpSameBytes(benchmark::State& state) {
  Fixture& files = Files();
  const std::string command = "cp " + files.raw_file + " " + files.dir + "/copy.bin";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
  }
  state.SetBytesProcessed(state.iterations() * kBlobBytes);
}
BENCHMARK(BM_CpSameBytes)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_OpenCatalogue10k(benchmark::State& state) {
  Fixture& files = Files();
  nurv::db::Connection connection;
  connection.SetParams(Login(files.catalogue_db));
  connection.Open();
  for (auto _ : state) {
    auto data = connection.OpenDataset(
        "SELECT vcode, icode, tdoc, version, name, caption, result, wdate, updatedate, repl FROM "
        "UpdatesBLOB (nolock)");
    data->SetFilter(nurv::db::RowFilter{"tdoc", "PRG"});
    data->SetFiltered(true);
    benchmark::DoNotOptimize(data->RecordCount());
  }
}
BENCHMARK(BM_OpenCatalogue10k)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
