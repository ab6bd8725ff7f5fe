// The update engine on a real SQLite update table:
// - archived module of 100 MiB (half random, half repetitive; 7z fast level): the archived update
// of PRG
//   with its pauses recorded, not taken, against `7z e` of the same archive plus `cp` of the
//   result; peak memory growth of the update for a 20 MiB and a 100 MiB module;
// - a browser group of 500 files, all current: the walk of UpdateFileGroup.
// Needs the 7z command and the system's 7-Zip library.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/fake_ui.h"
#include "db/database.h"
#include "loader/catalogue_filter.h"
#include "loader/update_archived.h"
#include "loader/update_context.h"
#include "loader/update_groups.h"
#include "platform/files.h"
#include "platform/system_info.h"
#include "support/file_crc32.h"

namespace {

namespace fs = std::filesystem;
using nurv::testing::FakeUi;

void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_update: %s\n", what.c_str());
  std::abort();
}

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    Fail(sql + ": " + sqlite3_errmsg(db));
}

std::uint32_t Crc(const std::string& path) { return nurv::FileCrc32(path).crc; }

// A table of plain rows; `blob_file` streams a file into the single row's BLOB.
struct Row {
  std::string tdoc, version, name, updatedate, blob_file;
  std::uint32_t caption = 0;
  std::string blob;
};

void MakeTable(const std::string& path, const std::vector<Row>& rows) {
  fs::remove(path);
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("open " + path);
  Exec(db,
       "CREATE TABLE UpdatesBLOB (vcode INTEGER, icode, tdoc TEXT, version TEXT, name TEXT, "
       "caption, result, wdate, updatedate TEXT, repl, fblob BLOB)");
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO UpdatesBLOB VALUES (?1, ?1, ?2, ?3, ?4, ?5, NULL, ?6, ?6, 0, ?7)",
                     -1, &insert, nullptr);
  std::int64_t vcode = 0;
  for (const Row& row : rows) {
    sqlite3_reset(insert);
    sqlite3_bind_int64(insert, 1, ++vcode);
    sqlite3_bind_text(insert, 2, row.tdoc.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, row.version.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 4, row.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 5, row.caption);
    sqlite3_bind_text(insert, 6, row.updatedate.c_str(), -1, SQLITE_TRANSIENT);
    if (row.blob_file.empty())
      sqlite3_bind_blob(insert, 7, row.blob.data(), static_cast<int>(row.blob.size()),
                        SQLITE_TRANSIENT);
    else
      sqlite3_bind_zeroblob64(insert, 7, fs::file_size(row.blob_file));
    if (sqlite3_step(insert) != SQLITE_DONE) Fail("insert");
    if (row.blob_file.empty()) continue;
    sqlite3_blob* blob = nullptr;
    if (sqlite3_blob_open(db, "main", "UpdatesBLOB", "fblob", sqlite3_last_insert_rowid(db), 1,
                          &blob) != SQLITE_OK)
      Fail("blob_open");
    std::ifstream in(row.blob_file, std::ios::binary);
    std::vector<char> chunk(1 << 20);
    int offset = 0;
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
      sqlite3_blob_write(blob, chunk.data(), static_cast<int>(in.gcount()), offset);
      offset += static_cast<int>(in.gcount());
    }
    sqlite3_blob_close(blob);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

// The loader's folders and an open catalogue on `db_path`.
struct Site {
  fs::path root;
  nurv::SettingsRecord settings;
  FakeUi ui;
  nurv::db::Connection connection;
  std::unique_ptr<nurv::db::Dataset> catalogue;
  std::unique_ptr<nurv::UpdateContext> ctx;

  explicit Site(const std::string& tag) {
    root = fs::temp_directory_path() / ("nurv-bench-upd-" + tag + std::to_string(::getpid()));
    for (const char* sub : {"Bin", "Temp", "Work"}) fs::create_directories(root / sub);
    settings.PathProgram = (root / "Bin").string() + "/";
    settings.PathTemp = (root / "Temp").string();
  }
  ~Site() {
    catalogue.reset();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  std::string Db() const { return (root / "updates.db").string(); }
  void Open() {
    connection.SetParams({"sqlite:" + Db(), "n", "u", "x"});
    connection.Open();
    catalogue = connection.OpenDataset(std::string(nurv::kCatalogueQuery));
    ctx = std::make_unique<nurv::UpdateContext>(
        nurv::UpdateContext{ui, connection, *catalogue, settings, nurv::platform::SystemFolder()});
  }
};

// A module of `size` bytes packed by the 7z command: the site serves it as code PRG.
std::unique_ptr<Site> ModuleSite(std::size_t size) {
  auto site = std::make_unique<Site>("m" + std::to_string(size >> 20) + "-");
  if (std::system("command -v 7z >/dev/null 2>&1") != 0) return nullptr;
  const std::string module = (site->root / "Work/nurv.exe").string();
  {
    std::vector<char> data(size);
    std::mt19937_64 random(7);
    for (std::size_t block = 0; block < size; block += 65536) {
      const bool noisy = (block / 65536) % 2 == 0;
      for (std::size_t i = block; i < std::min(size, block + 65536); i += 8) {
        const auto r = noisy ? random() : 0x2E2E2E2E2E2E2E2Eull + (i >> 12);
        for (std::size_t b = 0; b < 8 && i + b < size; ++b)
          data[i + b] = static_cast<char>(r >> (8 * b));
      }
    }
    std::ofstream(module, std::ios::binary).write(data.data(), static_cast<std::streamsize>(size));
  }
  const std::string work = (site->root / "Work").string();
  if (std::system(("cd '" + work + "' && 7z a -bd -y -mx=1 nurv.7z nurv.exe >/dev/null").c_str()) !=
      0)
    Fail("7z a");
  const Row row{"PRG", "5.1.10.2", "", "2024-05-01 10:00:00", work + "/nurv.7z", Crc(module), ""};
  MakeTable(site->Db(), {row});
  site->Open();
  return site;
}

std::int64_t StatusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::string(key).size());
  return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_UpdateArchivedModule(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
  const auto site = ModuleSite(size);
  if (!site) return state.SkipWithError("7z command missing");
  const std::string installed = site->settings.PathProgram + "nurv.exe";
  std::int64_t growth = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(installed);
    site->ui.waits.clear();
    const std::int64_t idle = StatusKiB("VmRSS:");
    ResetPeak();
    state.ResumeTiming();
    const nurv::StageResult result =
        nurv::UpdateArchivedModule(*site->ctx, nurv::ModuleByCode("PRG"));
    state.PauseTiming();
    growth = std::max(growth, StatusKiB("VmHWM:") - idle);
    if (result != nurv::StageResult::Written || site->ui.waits.size() != 4)
      Fail("module not written");
    state.ResumeTiming();
  }
  state.counters["peak_growth_MiB"] = static_cast<double>(growth) / 1024.0;
}
BENCHMARK(BM_UpdateArchivedModule)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SevenZipExtractPlusCp(benchmark::State& state) {
  const auto site = ModuleSite(100u << 20);
  if (!site) return state.SkipWithError("7z command missing");
  const std::string work = (site->root / "Work").string();
  const std::string command = "cd '" + work +
                              "' && rm -f out/nurv.exe && 7z e -bd -y -oout nurv.7z "
                              ">/dev/null && cp out/nurv.exe '" +
                              site->settings.PathProgram + "nurv.exe'";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) Fail(command);
}
BENCHMARK(BM_SevenZipExtractPlusCp)->Unit(benchmark::kMillisecond)->Iterations(3);

// 500 files of a browser group, each as new as its row: nothing to write.
void BM_GroupWalkAllCurrent(benchmark::State& state) {
  Site site("g-");
  std::vector<Row> rows;
  for (int i = 0; i < 500; ++i) {
    const std::string name = "lib" + std::to_string(i) + ".dll";
    const std::string bytes(4096, static_cast<char>('a' + i % 26));
    std::ofstream(site.settings.PathProgram + name, std::ios::binary) << bytes;
    nurv::platform::WriteModifiedTime(
        site.settings.PathProgram + name,
        nurv::DateTime{
            std::chrono::local_days{std::chrono::year{2024} / 5 / 1}.time_since_epoch()} +
            std::chrono::hours{10});
    rows.push_back(Row{"CXP", "", name, "2024-05-01 10:00:30", "", 0, bytes});
  }
  for (int i = 0; i < 2000; ++i)
    rows.push_back(Row{"XLS", "", "f" + std::to_string(i), "2024-05-01 10:00:00", "", 0, ""});
  MakeTable(site.Db(), rows);
  site.Open();
  for (auto _ : state) {
    if (nurv::UpdateFileGroup(*site.ctx, nurv::ModuleByCode("CXP")) !=
        nurv::StageResult::NotRequired)
      Fail("group wrote");
  }
}
BENCHMARK(BM_GroupWalkAllCurrent)->Unit(benchmark::kMillisecond);

}  // namespace
