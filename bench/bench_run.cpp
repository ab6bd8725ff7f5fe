// The everyday start: an up-to-date complex whose update table holds 2,000 group rows, served
// by SQLite on the same machine. Measures one whole run of the main sequence in process, without
// the fixed 500 ms pause and the closing animation (the window's pauses are recorded, not taken),
// with the time of each part: settings, connection, catalogue, versions, group walks.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "common/fake_ui.h"
#include "common/scoped_env.h"
#include "loader/loader_app.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 2000;
constexpr const char* kCodes[] = {"CXP", "LXP", "SWI", "DOC", "XLS"};

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : "sqlite error";
    sqlite3_free(error);
    throw std::runtime_error(message);
  }
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A complex in a temporary folder: Bin with nurv.ini, the group files already installed (newer
// than their rows), the update table, the user's folders pointed into it.
class EverydayComplex {
 public:
  EverydayComplex() {
    char pattern[] = "/tmp/nurv-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    root_ = pattern;
    for (const char* sub : {"Bin/locales", "Bin/swiftshader", "Bin/CEF", "Update", "Help",
                            "Shablon", "Report", "config", "data", "tmp"}) {
      fs::create_directories(root_ + "/" + sub);
    }
    // Until the complex goes: the benchmarks that run after this one use the user's own.
    env_.Set("XDG_CONFIG_HOME", root_ + "/config");
    env_.Set("XDG_STATE_HOME", root_ + "/state");
    env_.Set("XDG_DATA_HOME", root_ + "/data");
    env_.Set("TMPDIR", root_ + "/tmp");

    const std::string db_path = root_ + "/updates.db";
    sqlite3* db = nullptr;
    sqlite3_open(db_path.c_str(), &db);
    Exec(db,
         "CREATE TABLE UpdatesBLOB (vcode INTEGER, icode INTEGER, tdoc TEXT, version TEXT, "
         "name TEXT, caption, result INTEGER, wdate TEXT, updatedate TEXT, repl INTEGER, "
         "fblob BLOB)");
    Exec(db, "BEGIN");
    // Version 0.0.0.0 against installed files without version information: equal keys, so the
    // single modules are not updated, as on a workstation that is up to date.
    Exec(db, "INSERT INTO UpdatesBLOB (vcode, tdoc, version) VALUES (1, 'PRG', '0.0.0.0')");
    Exec(db, "INSERT INTO UpdatesBLOB (vcode, tdoc, version) VALUES (2, 'LDR', '0.0.0.0')");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO UpdatesBLOB (vcode, tdoc, name, caption, updatedate, fblob) "
                       "VALUES (?, ?, ?, 0, '2024-03-01 10:00:00', x'00')",
                       -1, &insert, nullptr);
    for (int i = 0; i < kRows; ++i) {
      const std::string code = kCodes[i % 5];
      const std::string name = "file" + std::to_string(i) + (code == "XLS" ? ".xls" : "");
      sqlite3_bind_int(insert, 1, 100 + i);
      sqlite3_bind_text(insert, 2, code.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
      std::string folder = root_ + "/Bin/";
      if (code == "LXP") folder += "locales/";
      if (code == "SWI") folder += "swiftshader/";
      if (code == "DOC" || code == "XLS") folder = root_ + "/Shablon/";
      WriteText(folder + name + (code == "DOC" ? ".doc" : ""), "x");
    }
    sqlite3_finalize(insert);
    Exec(db, "COMMIT");
    sqlite3_close(db);

    WriteText(root_ + "/Bin/nurv.ini", "[ConfigUser51]\nServer=sqlite:" + db_path +
                                           "\nDataBase=demo\nCaption=Demo\nUser=u\nThemeXP=0\n");
  }
  ~EverydayComplex() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string Executable() const { return root_ + "/Bin/NurvLoader.exe"; }

 private:
  std::string root_;
  nurv::testing::ScopedEnv env_;
};

// Notes the time of the log lines that end each part of the run.
class TimedUi : public nurv::testing::FakeUi {
 public:
  Clock::time_point start;
  Clock::time_point settings, connected, catalogue, versions, groups;

 protected:
  void OnLogChanged() override {
    if (Log().empty()) return;
    const std::string& line = Log().back();
    const auto now = Clock::now();
    if (line == "Заполнение таблицы серверов - OK") settings = now;
    if (line.rfind("Соединение с сервером", 0) == 0) connected = now;
    if (line == "Считывание номера доступной версии - OK") catalogue = now;
    if (line.rfind("Windows XP", 0) == 0) versions = now;
    if (line == "Запуск НУРВ-Комплекс...") groups = now;
  }
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_EverydayStart(benchmark::State& state) {
  EverydayComplex complex;
  double settings = 0, connect = 0, catalogue = 0, versions = 0, groups = 0;
  bool started_ok = true;
  for (auto _ : state) {
    TimedUi ui;
    nurv::LoaderEnvironment env;
    env.executable_path = complex.Executable();
    env.start_program = [](const std::string&) { return 33; };
    nurv::LoaderApp app(ui, {}, env);
    ui.start = Clock::now();
    app.Initialise(nurv::ScreenGeometry{1920, 1080, 1920, 1080});
    ui.Activate();
    started_ok = started_ok && app.ExitStatus() == 0 && ui.groups != Clock::time_point{};
    settings += Ms(ui.settings - ui.start);
    connect += Ms(ui.connected - ui.settings);
    catalogue += Ms(ui.catalogue - ui.connected);
    versions += Ms(ui.versions - ui.catalogue);
    groups += Ms(ui.groups - ui.versions);
  }
  if (!started_ok) state.SkipWithError("the run did not reach the start of the main program");
  const double n = static_cast<double>(state.iterations());
  state.counters["settings_ms"] = settings / n;
  state.counters["connect_ms"] = connect / n;
  state.counters["catalogue_ms"] = catalogue / n;
  state.counters["versions_ms"] = versions / n;
  state.counters["group_walks_ms"] = groups / n;
}
BENCHMARK(BM_EverydayStart)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
