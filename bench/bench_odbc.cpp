// The database layer's ODBC path: a 100 MiB bytea row of PostgreSQL (the tests' throw-away
// server, reached through psqlODBC) saved to a file, against psql's own binary COPY of the same
// value to a file, with the growth of peak memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/pg_server.h"
#include "connection/loader_login.h"
#include "db/database.h"
#include "loader/staged_file.h"

namespace {

namespace fs = std::filesystem;
using nurv::testing::PgServer;

constexpr std::int64_t kBlobBytes = 100ll << 20;

std::int64_t StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::string(field).size()));
  return 0;
}

// The server with the row in place, or nullptr (the benchmark is then skipped with `why_not`).
PgServer* ServerWithRow(std::string* why_not) {
  static bool filled = false;
  PgServer* server = PgServer::Get(why_not);
  if (!server || filled) return server;
  std::string bytes(static_cast<std::size_t>(kBlobBytes), '\0');
  std::uint64_t state = 88172645463325252ull;
  for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    std::copy_n(reinterpret_cast<const char*>(&state), 8, &bytes[i]);
  }
  const std::string source = server->MakeServerReadableFile("bench.bin", bytes);
  server->Execute(
      "TRUNCATE UpdatesBLOB; INSERT INTO UpdatesBLOB (vcode, tdoc, name, caption, fblob) VALUES "
      "(1, 'PRG', 'nurv.exe', '0', pg_read_binary_file('" +
      source + "'))");
  fs::remove(source);
  filled = true;
  return server;
}

std::string OutFile(const char* name) {
  return (fs::temp_directory_path() / (name + std::to_string(::getpid()))).string();
}

void BM_OdbcBlobToFile(benchmark::State& state) {
  std::string why_not;
  PgServer* server = ServerWithRow(&why_not);
  if (!server) return state.SkipWithError(why_not.c_str());
  const std::string out = OutFile("nurv-odbc-");
  std::int64_t growth_kib = 0;
  for (auto _ : state) {
    const std::int64_t idle = StatusKiB("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";
    nurv::db::Connection connection;
    connection.SetParams(
        {server->ServerName(), PgServer::kDatabase, nurv::kLoaderLogin, nurv::LoaderPassword()});
    auto data = connection.OpenDataset("select * from UpdatesBLOB (nolock) where tdoc = 'PRG'");
    nurv::SaveBlobAsNewFile(*data, out);
    growth_kib = std::max(growth_kib, StatusKiB("VmHWM:") - idle);
  }
  fs::remove(out);
  state.SetBytesProcessed(state.iterations() * kBlobBytes);
  state.counters["peak_growth_MiB"] = static_cast<double>(growth_kib) / 1024.0;
}
BENCHMARK(BM_OdbcBlobToFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The yardstick: psql's COPY of the value in binary form, which is the BLOB's raw bytes framed
// by 27 bytes of header, length and trailer, written to a file by psql itself.
void BM_PsqlCopyBinaryToFile(benchmark::State& state) {
  std::string why_not;
  PgServer* server = ServerWithRow(&why_not);
  if (!server) return state.SkipWithError(why_not.c_str());
  const std::string out = OutFile("nurv-copy-");
  for (auto _ : state)
    server->Execute("\\copy (SELECT fblob FROM UpdatesBLOB WHERE vcode = 1) TO '" + out +
                    "' WITH (FORMAT binary)");
  if (fs::file_size(out) != static_cast<std::uintmax_t>(kBlobBytes) + 27)
    state.SkipWithError("psql's file does not hold the BLOB");
  fs::remove(out);
  state.SetBytesProcessed(state.iterations() * kBlobBytes);
}
BENCHMARK(BM_PsqlCopyBinaryToFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
