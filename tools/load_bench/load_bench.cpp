// nurv-load-bench: many workstations starting the loader at the same moment against one
// PostgreSQL server (the throw-away cluster of the tests), all needing the same update: a release
// that changes about 1 % of a 20 MiB main program in a 7z archive (PRG) and of each file of a
// browser group of 200 files (CXP). Each number of workstations runs twice: with full rows only,
// and with the release's patches in UpdatesDelta. For each run it prints a Markdown table row:
// wall time, the slowest and the fastest loader, the BLOB bytes a loader read, the server's CPU
// seconds, the loaders' CPU seconds, a loader's peak memory and the peak of server connections.
// Every loader must end with exit status 0 and leave the right files (size and CRC-32); otherwise
// the tool says which did not and ends with status 1. With --report the server holds the loaders'
// table of runs, UpdatesReport, and every loader's row of its success must be there after each run.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "command_line/tool_command_line.h"
#include "common/pe_builder.h"
#include "common/pg_server.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "db/database.h"
#include "rules/run_report.h"
#include "support/sevenzip_fixture.h"
#include "support/signing.h"
#include "support/zstd_patch.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nurv::testing::Crc32Of;
using nurv::testing::PgServer;
using nurv::testing::ReadFile;
using nurv::testing::WriteFile;
using Clock = std::chrono::steady_clock;

constexpr nurv::tools::ToolOption kOptions[] = {{"--report", false}};

constexpr nurv::tools::ToolUsage kUsage{
    "nurv-load-bench",
    "[--report] BUILT_FOLDER N...",
    "Starts N loaders (nurvloader-cli of BUILT_FOLDER, each on its own complex, registry file and\n"
    "temporary folder) at the same moment against one PostgreSQL server holding a release that\n"
    "changes 1 % of a 20 MiB main program in a 7z archive and of a 200-file browser group, for\n"
    "each N with full rows and with patches, checks every loader's exit status and files, and\n"
    "prints a Markdown table of the figures. --report: with the table UpdatesReport on the\n"
    "server, where every loader's row must be found.\n",
    2,
    16,
    kOptions};

constexpr std::size_t kMainProgramSize = 20u << 20;
constexpr int kGroupFiles = 200;
constexpr char kRowTime[] = "2026-01-15 09:30:00";

// Reproducible bytes that do not compress, as a packed program's mostly do not.
std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const std::uint32_t word = generator();
    std::memcpy(&bytes[i], &word, 4);
  }
  return bytes;
}

// `bytes` with about 1 % changed: a run of new bytes in every 100 KiB (or once in a small file).
std::string ChangedRelease(std::string bytes, std::uint32_t seed) {
  const std::size_t step = 100u << 10;
  const std::size_t run = std::max<std::size_t>(16, std::min(bytes.size(), step) / 100);
  for (std::size_t at = bytes.size() / 3; at + run <= bytes.size(); at += step)
    bytes.replace(at, run, RandomBytes(run, seed++));
  return bytes;
}

struct ExpectedFile {
  std::string name;  // below the program folder
  std::size_t size;
  std::uint32_t crc;
  std::int64_t blob_size;  // of its row's fblob
};

// The installed release a workstation starts from.
struct InstalledFile {
  std::string name;
  std::string bytes;
};

// The update table on the server and what every workstation must hold after its run.
struct Update {
  std::vector<InstalledFile> installed;  // the older release: the main program and the group
  std::string loader;                    // the installed loader's file as the table knows it
  std::vector<ExpectedFile> files;
};

// The patch of row `vcode` from `base` to `target`, whose fblob is `blob`, as a row of
// UpdatesDelta (an SQL tuple).
std::string PatchRow(const PgServer& server, int vcode, const std::string& base,
                     const std::string& target, const std::string& blob, const fs::path& work) {
  const auto bytes = [](const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  const std::vector<std::uint8_t> patch = nurv::MakePatch(bytes(base), bytes(target));
  const std::string path = server.MakeServerReadableFile("patch-" + std::to_string(vcode),
                                                         std::string(patch.begin(), patch.end()));
  WriteFile((work / "blob").string(), blob);
  const std::string digest =
      nurv::HexText(nurv::BytesOf(nurv::FileSha256((work / "blob").string()).digest));
  return "(" + std::to_string(vcode) + ", " + std::to_string(base.size()) + ", " +
         std::to_string(Crc32Of(base)) + ", " + std::to_string(blob.size()) + ", '" + digest +
         "', pg_read_binary_file('" + path + "'))";
}

std::string SqlText(const std::string& text) { return "'" + text + "'"; }

Update FillServer(const PgServer& server, const fs::path& built, const fs::path& work) {
  Update update;
  const fs::path demo_main = built / "nurv-demo-main";
  fs::copy_file(demo_main, work / "old-main");
  nurv::testing::AttachVersionSection((work / "old-main").string(), {5, 1, 9, 2}, {5, 1, 9, 2});
  std::string old_main = ReadFile((work / "old-main").string());
  // Grown to 20 MiB (trailing bytes leave an executable runnable).
  const std::string payload = RandomBytes(kMainProgramSize - old_main.size(), 1);
  old_main += payload;
  update.installed.push_back({"nurv.exe", old_main});

  // The new main program: the demo program with its new version and the payload 1 % changed.
  fs::create_directories(work / "pack");
  const fs::path main = work / "pack" / "nurv.exe";
  fs::copy_file(demo_main, main);
  nurv::testing::AttachVersionSection(main.string(), {5, 1, 10, 2}, {5, 1, 10, 2});
  std::string main_bytes = ReadFile(main.string());
  main_bytes += ChangedRelease(payload, 2);
  main_bytes.resize(kMainProgramSize);
  WriteFile(main.string(), main_bytes);
  fs::permissions(main, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  if (!nurv::testing::Run7z((work / "pack").string(), "a -t7z -mx=5 -y nurv.7z nurv.exe"))
    throw std::runtime_error("7z failed");
  const std::string archive_bytes = ReadFile((work / "pack" / "nurv.7z").string());
  const std::string archive = server.MakeServerReadableFile("nurv.7z", archive_bytes);
  update.files.push_back({"nurv.exe", main_bytes.size(), Crc32Of(main_bytes),
                          static_cast<std::int64_t>(archive_bytes.size())});
  std::string patches = PatchRow(server, 2, old_main, main_bytes, archive_bytes, work);

  update.loader = nurv::testing::BuildPeFile({6, 3, 0, 0}, {6, 3, 0, 0});
  std::string sql =
      "INSERT INTO UpdatesBLOB (vcode, tdoc, version, name, caption, updatedate, fblob) VALUES "
      "(1, 'LDR', '6.3.0.0', 'NurvLoader.exe', NULL, NULL, NULL), "
      "(2, 'PRG', '5.1.10.2', 'nurv.exe', " +
      SqlText(std::to_string(Crc32Of(main_bytes))) + ", " + SqlText(kRowTime) +
      ", pg_read_binary_file(" + SqlText(archive) + "))";
  // The browser's files: from 1 to 32 KiB, 3.2 MiB in all.
  for (int i = 0; i < kGroupFiles; ++i) {
    const std::string name = "cef_" + std::to_string(i) + ".bin";
    const std::string old_bytes =
        RandomBytes(1024 + static_cast<std::size_t>(i * 7919 % 31) * 1024, 100 + i);
    const std::string bytes = ChangedRelease(old_bytes, 1000 + i);
    update.installed.push_back({name, old_bytes});
    patches += ", " + PatchRow(server, 100 + i, old_bytes, bytes, bytes, work);
    const std::string path = server.MakeServerReadableFile(name, bytes);
    sql += ", (" + std::to_string(100 + i) + ", 'CXP', NULL, " + SqlText(name) + ", " +
           SqlText(std::to_string(Crc32Of(bytes))) + ", " + SqlText(kRowTime) +
           ", pg_read_binary_file(" + SqlText(path) + "))";
    update.files.push_back(
        {name, bytes.size(), Crc32Of(bytes), static_cast<std::int64_t>(bytes.size())});
  }
  server.Execute(sql);
  // Kept under another name while the full rows alone are measured.
  server.Execute(
      "CREATE TABLE UpdatesDeltaAside (vcode integer NOT NULL, basesize bigint NOT NULL, basecrc "
      "bigint NOT NULL, fullsize bigint NOT NULL, rowsha256 varchar(64) NOT NULL, patch bytea NOT "
      "NULL); GRANT SELECT ON UpdatesDeltaAside TO \"" +
      std::string(PgServer::kLoaderLogin) + "\"; INSERT INTO UpdatesDeltaAside VALUES " + patches);
  return update;
}

// One workstation: its complex, settings, Trash and temporary folder under `root`.
struct Workstation {
  fs::path root;
  pid_t pid = -1;
  int status = -1;
  double seconds = 0;
  double cpu_seconds = 0;
  long peak_kib = 0;

  fs::path Bin() const { return root / "Bin"; }
};

void LayOut(const Workstation& ws, const fs::path& built, const Update& update,
            const std::string& server_name) {
  for (const char* sub : {"Bin", "Update", "Help", "Shablon", "Report", "config", "data", "tmp"})
    fs::create_directories(ws.root / sub);
  fs::copy_file(built / "nurvloader-cli", ws.Bin() / "nurvloader-cli");
  // Older than the release's rows, so the date rule wants every file.
  const auto before = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  for (const InstalledFile& file : update.installed) {
    WriteFile((ws.Bin() / file.name).string(), file.bytes);
    fs::last_write_time(ws.Bin() / file.name, before);
  }
  fs::permissions(ws.Bin() / "nurv.exe", fs::perms::owner_all);
  WriteFile((ws.Bin() / "NurvLoader.exe").string(), update.loader);
  WriteFile((ws.root / "Update" / "NurvLoader.exe").string(), update.loader);
  WriteFile((ws.Bin() / "nurv.ini").string(),
            "[ConfigUser51]\nServer=" + server_name + "\nDataBase=" + PgServer::kDatabase +
                "\nCaption=Нагрузка\nUser=operator\nRegion=550\nRegion2=1\nRefreshRepl=10\n"
                "ShowWordProces=0\nThemeXP=0\n");
}

// The environment of a workstation's loader: ours with its own settings, Trash and temporary
// folder.
std::vector<std::string> Environment(const Workstation& ws) {
  std::vector<std::string> env;
  const std::map<std::string, std::string> own{{"XDG_CONFIG_HOME", (ws.root / "config").string()},
                                               {"XDG_DATA_HOME", (ws.root / "data").string()},
                                               {"TMPDIR", (ws.root / "tmp").string()}};
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (!own.count(text.substr(0, text.find('=')))) env.push_back(text);
  }
  for (const auto& [name, value] : own) env.push_back(name + "=" + value);
  return env;
}

// Forks the loader of `ws`, held before its exec until the parent closes the gate's write end.
pid_t ForkHeld(const Workstation& ws, const int gate[2]) {
  const std::string program = (ws.Bin() / "nurvloader-cli").string();
  const std::string out = (ws.root / "cli.out").string();
  const std::string err = (ws.root / "cli.err").string();
  const std::vector<std::string> env_text = Environment(ws);
  std::vector<char*> env;
  for (const std::string& entry : env_text) env.push_back(const_cast<char*>(entry.c_str()));
  env.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid != 0) return pid;
  // Only calls that are safe between fork and exec from here on.
  close(gate[1]);
  char byte;
  while (read(gate[0], &byte, 1) < 0) {
  }
  close(gate[0]);
  const int in = open("/dev/null", O_RDONLY);
  const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out_fd < 0 || err_fd < 0) _exit(126);
  dup2(in, 0);
  dup2(out_fd, 1);
  dup2(err_fd, 2);
  execve(program.c_str(), argv, env.data());
  _exit(127);
}

// CPU seconds of a process from /proc: its own, and with `children` those of its reaped children.
double CpuSeconds(pid_t pid, bool children) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t end = text.rfind(')');
  if (end == std::string::npos) return 0;
  std::istringstream fields(text.substr(end + 2));
  std::vector<std::string> field;
  for (std::string item; fields >> item;) field.push_back(item);
  // After the name: state is field 3 of the file, utime 14, stime 15, cutime 16, cstime 17.
  if (field.size() < 15) return 0;
  double ticks = std::stod(field[11]) + std::stod(field[12]);
  if (children) ticks += std::stod(field[13]) + std::stod(field[14]);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

pid_t ParentOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("PPid:", 0) == 0) return static_cast<pid_t>(std::stol(line.substr(5)));
  return -1;
}

// The server's CPU seconds so far: the postmaster's own and its reaped children's, and those of
// its children still running.
double ServerCpuSeconds(pid_t postmaster) {
  double seconds = CpuSeconds(postmaster, true);
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(name));
    if (ParentOf(pid) == postmaster) seconds += CpuSeconds(pid, false);
  }
  return seconds;
}

// Polls pg_stat_activity on a connection of its own: the client connections other than its own.
class ConnectionMonitor {
 public:
  explicit ConnectionMonitor(const PgServer& server) {
    connection_.SetParams({server.ServerName(), PgServer::kDatabase, PgServer::kLoaderLogin,
                           std::string(PgServer::kLoaderPassword), 30});
    backend_ = static_cast<pid_t>(std::get<std::int64_t>(
        connection_.ExecuteScalar("SELECT CAST(pg_backend_pid() AS bigint)")));
  }
  ~ConnectionMonitor() { Stop(); }

  pid_t backend() const { return backend_; }
  void Start() {
    peak_ = 0;
    running_ = true;
    thread_ = std::thread([this] {
      while (running_) {
        const int count = Count();
        current_ = count;
        peak_ = std::max(peak_.load(), count);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  }
  void Stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }
  int peak() const { return peak_; }
  int current() const { return current_; }

 private:
  int Count() {
    return static_cast<int>(std::get<std::int64_t>(connection_.ExecuteScalar(
        "SELECT count(*) FROM pg_stat_activity WHERE backend_type = 'client backend' AND pid <> "
        "pg_backend_pid()")));
  }

  nurv::db::Connection connection_;
  pid_t backend_ = -1;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<int> peak_{0};
  std::atomic<int> current_{0};
};

// The BLOB bytes a workstation's loader read: what its log says a patch took, else the full row.
std::int64_t BlobBytesRead(const Workstation& ws, const Update& update) {
  const std::string log = ReadFile((ws.root / "cli.out").string());
  std::int64_t total = 0;
  for (const ExpectedFile& file : update.files) total += file.blob_size;
  const std::string mark = "получено разностью: ";
  for (std::size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1)) {
    std::istringstream line(log.substr(at + mark.size()));
    std::int64_t read = 0, full = 0;
    std::string of;
    line >> read >> of >> full;
    total += read - full;
  }
  return total;
}

// What a workstation holds wrong after its run; empty when everything is right.
std::string Check(const Workstation& ws, const Update& update) {
  if (ws.status != 0) return "exit status " + std::to_string(ws.status);
  for (const ExpectedFile& file : update.files) {
    const fs::path path = ws.Bin() / file.name;
    if (!fs::exists(path)) return file.name + " is missing";
    const std::string bytes = ReadFile(path.string());
    if (bytes.size() != file.size || Crc32Of(bytes) != file.crc)
      return file.name + " differs from its row";
  }
  return {};
}

// The rows of successful runs that wrote every file in UpdatesReport, which is then emptied for
// the next N.
std::int64_t TakeReports(const PgServer& server, const Update& update) {
  nurv::db::Connection connection;
  connection.SetParams({server.ServerName(), PgServer::kDatabase, PgServer::kLoaderLogin,
                        std::string(PgServer::kLoaderPassword), 30});
  const std::int64_t rows = std::get<std::int64_t>(connection.ExecuteScalar(
      "SELECT CAST(count(*) AS bigint) FROM UpdatesReport WHERE status = 0 AND files = " +
      std::to_string(update.files.size())));
  server.Execute("TRUNCATE UpdatesReport");
  return rows;
}

struct Figures {
  int loaders;
  bool patches;
  double wall, slowest, fastest, server_cpu, loaders_cpu;
  int peak_connections;
  double blob_mib;  // per loader, the largest
  long peak_kib;    // of the largest loader
};

Figures RunLoaders(int count, bool patches, const fs::path& root, const fs::path& built,
                   const Update& update, const PgServer& server, ConnectionMonitor& monitor,
                   pid_t postmaster, bool report) {
  std::vector<Workstation> stations(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    stations[static_cast<std::size_t>(i)].root = root / ("ws" + std::to_string(i));
    LayOut(stations[static_cast<std::size_t>(i)], built, update, server.ServerName());
  }
  int gate[2];
  if (pipe(gate) != 0) throw std::runtime_error("pipe failed");
  for (Workstation& ws : stations) ws.pid = ForkHeld(ws, gate);
  close(gate[0]);

  const double server_before = ServerCpuSeconds(postmaster);
  const double monitor_before = CpuSeconds(monitor.backend(), false);
  monitor.Start();
  const auto start = Clock::now();
  close(gate[1]);  // every loader goes now
  for (int left = count; left > 0; --left) {
    int status = 0;
    rusage usage{};
    const pid_t pid = wait4(-1, &status, 0, &usage);
    if (pid < 0) throw std::runtime_error("wait4 failed");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (Workstation& ws : stations) {
      if (ws.pid != pid) continue;
      ws.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      ws.seconds = seconds;
      ws.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
      ws.peak_kib = usage.ru_maxrss;
    }
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  // The server's work for a loader ends when its connection has gone.
  for (int i = 0; i < 500 && monitor.current() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  monitor.Stop();
  const double monitor_cpu = CpuSeconds(monitor.backend(), false) - monitor_before;
  const double server_cpu = ServerCpuSeconds(postmaster) - server_before - monitor_cpu;

  Figures figures{count, patches, wall, 0, wall, server_cpu, 0, monitor.peak(), 0, 0};
  bool all_right = true;
  for (const Workstation& ws : stations) {
    figures.slowest = std::max(figures.slowest, ws.seconds);
    figures.fastest = std::min(figures.fastest, ws.seconds);
    figures.loaders_cpu += ws.cpu_seconds;
    figures.peak_kib = std::max(figures.peak_kib, ws.peak_kib);
    figures.blob_mib =
        std::max(figures.blob_mib, static_cast<double>(BlobBytesRead(ws, update)) / (1 << 20));
    if (const std::string wrong = Check(ws, update); !wrong.empty()) {
      all_right = false;
      std::cerr << ws.root.string() << ": " << wrong << "\n"
                << ReadFile((ws.root / "cli.out").string()) << "\n";
    }
  }
  if (!all_right)
    throw std::runtime_error("not every loader succeeded with N = " + std::to_string(count));
  if (report) {
    const std::int64_t reports = TakeReports(server, update);
    std::cerr << "nurv-load-bench: " << reports << " rows in UpdatesReport\n";
    if (reports != count)
      throw std::runtime_error(std::to_string(reports) + " rows in UpdatesReport for " +
                               std::to_string(count) + " loaders");
  }
  fs::remove_all(root);
  return figures;
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void PrintTable(const std::vector<Figures>& runs) {
  const Figures& first = runs.front();
  std::cout << "| loaders | rows | wall | slowest loader | fastest loader | BLOB bytes per loader "
               "| server CPU | server CPU per loader | loaders' CPU | peak memory of a loader | "
               "peak server connections |\n"
               "|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (const Figures& run : runs) {
    std::cout << "| " << run.loaders << " | " << (run.patches ? "patches" : "full") << " | "
              << Fixed(run.wall, 1) << " s | " << Fixed(run.slowest, 1) << " s | "
              << Fixed(run.fastest, 1) << " s | " << Fixed(run.blob_mib, 2) << " MiB | "
              << Fixed(run.server_cpu, 1) << " s | " << Fixed(run.server_cpu / run.loaders, 2)
              << " s | " << Fixed(run.loaders_cpu, 1) << " s | " << Fixed(run.peak_kib / 1024.0, 0)
              << " MiB | " << run.peak_connections << " |\n";
  }
  std::cout << "\nGrowth against " << first.loaders << " loaders (full rows):\n\n"
            << "| loaders | × loaders | × wall | × slowest | × server CPU | × peak connections "
               "|\n|---|---|---|---|---|---|\n";
  for (const Figures& run : runs) {
    if (run.patches) continue;
    std::cout << "| " << run.loaders << " | "
              << Fixed(static_cast<double>(run.loaders) / first.loaders, 1) << " | "
              << Fixed(run.wall / first.wall, 2) << " | " << Fixed(run.slowest / first.slowest, 2)
              << " | " << Fixed(run.server_cpu / first.server_cpu, 2) << " | "
              << Fixed(static_cast<double>(run.peak_connections) / first.peak_connections, 2)
              << " |\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  const nurv::tools::ToolCommandLine line = nurv::tools::ReadToolCommandLine(argc, argv, kUsage);
  if (line.exit_status) return *line.exit_status;
  try {
    const fs::path built = fs::absolute(line.operands[0]);
    std::vector<int> counts;
    for (std::size_t i = 1; i < line.operands.size(); ++i) {
      const int count = std::atoi(line.operands[i].c_str());
      if (count < 1 || count > 150) throw std::runtime_error("N must be from 1 to 150");
      counts.push_back(count);
    }
    std::string why_not;
    PgServer* server = PgServer::Get(&why_not);
    if (server == nullptr) throw std::runtime_error(why_not);
    nurv::testing::TempDir work;
    const Update update = FillServer(*server, built, fs::path(work.path()));
    const bool report = line.options.count("--report") > 0;
    if (report)
      server->Execute(nurv::CreateReportTableStatement(nurv::db::Engine::PostgreSql) +
                      "; GRANT SELECT, INSERT ON UpdatesReport TO \"" + PgServer::kLoaderLogin +
                      "\"");
    ConnectionMonitor monitor(*server);
    const pid_t postmaster = ParentOf(monitor.backend());
    std::vector<Figures> runs;
    for (const int count : counts) {
      for (const bool patches : {false, true}) {
        std::cerr << "nurv-load-bench: " << count << " loaders, "
                  << (patches ? "with patches" : "full rows") << "...\n";
        if (patches) server->Execute("ALTER TABLE UpdatesDeltaAside RENAME TO UpdatesDelta");
        runs.push_back(RunLoaders(count, patches, fs::path(work.path()) / "stations", built, update,
                                  *server, monitor, postmaster, report));
        if (patches) server->Execute("ALTER TABLE UpdatesDelta RENAME TO UpdatesDeltaAside");
      }
    }
    PrintTable(runs);
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "nurv-load-bench: " << error.what() << "\n";
    return 1;
  }
}
