#include "common/pg_server.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <thread>
#endif

namespace nurv::testing {

namespace {

namespace fs = std::filesystem;

constexpr char kBin[] = "/usr/lib/postgresql/15/bin/";
constexpr char kSuperPassword[] = "pg-super-secret";
// The server listens on its private socket folder only, so any port number is free there.
constexpr int kPort = 5432;
constexpr int kDeadPort = 5433;

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

#ifndef _WIN32

// The cluster's files as this process names them: the host's own paths.
fs::path Local(const std::string& host_path) { return host_path; }

// Runs a host shell command; its exit status and combined output.
int Run(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
  const int status = pclose(pipe);
  if (output) *output = text;
  return status;
}

#else

// Under Wine the cluster is a host (Linux) server, reached through Wine's own path mapping and its
// ability to start host programs. Wine starts them detached, without exit status or pipes, so the
// host shell leaves its output and status in files that this side waits for.
struct Wine {
  using ToDos = WCHAR*(WINAPI*)(const char*);
  using ToUnix = char*(WINAPI*)(const WCHAR*);
  ToDos to_dos = nullptr;
  ToUnix to_unix = nullptr;
  Wine() {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    to_dos = reinterpret_cast<ToDos>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
    to_unix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
  }
  bool present() const { return to_dos && to_unix; }
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const Wine& GetWine() {
  static const Wine wine;
  return wine;
}

fs::path Local(const std::string& host_path) {
  WCHAR* dos = GetWine().to_dos(host_path.c_str());
  if (!dos) throw std::runtime_error("Wine cannot name " + host_path);
  fs::path path(dos);
  HeapFree(GetProcessHeap(), 0, dos);
  return path;
}

std::string Host(const fs::path& local) {
  char* unix_name = GetWine().to_unix(local.c_str());
  if (!unix_name) throw std::runtime_error("Wine cannot name " + local.string() + " on the host");
  std::string path(unix_name);
  HeapFree(GetProcessHeap(), 0, unix_name);
  return path;
}

int Run(const std::string& command, std::string* output = nullptr) {
  static int runs = 0;
  const fs::path dir =
      fs::temp_directory_path() /
      ("nurv-pg-run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs));
  fs::create_directories(dir);
  const std::string host = Host(dir);
  // The host shell gets its environment from Wine, translated from Windows: PATH is set anew.
  WriteText(dir / "run.sh", "cd '" + host + "' || exit\nPATH=/usr/sbin:/usr/bin:/sbin:/bin\n(" +
                                command +
                                ") >out 2>&1\necho $? >status.new\nmv status.new status\n");
  std::wstring line = L"/bin/sh \"" + fs::path(host + "/run.sh").wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  int status = -1;
  std::string text = "Wine did not start the host's /bin/sh";
  if (CreateProcessW(Local("/bin/sh").c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (!fs::exists(dir / "status") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    text = "the host command did not finish within 3 minutes: " + command;
    if (fs::exists(dir / "status")) {
      status = std::stoi("0" + FirstLine(ReadText(dir / "status")));
      text = ReadText(dir / "out");
    }
  }
  if (output) *output = text;
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}

#endif

std::unique_ptr<PgServer> g_server;
bool g_tried = false;
std::string g_why_not;

}  // namespace

PgServer* PgServer::Get(std::string* why_not) {
  if (!g_tried) {
    g_tried = true;
    std::unique_ptr<PgServer> server(new PgServer());
    if (server->Start(&g_why_not)) g_server = std::move(server);
  }
  if (!g_server && why_not) *why_not = g_why_not;
  return g_server.get();
}

bool PgServer::Start(std::string* why_not) {
#ifdef _WIN32
  if (!GetWine().present()) {
    *why_not = "the tests' PostgreSQL server is a host program, which only Wine can start";
    return false;
  }
#endif
  std::string output;
  if (Run(std::string("test -x ") + kBin + "initdb && test -x " + kBin + "psql") != 0) {
    *why_not = std::string("PostgreSQL 15 is not installed (") + kBin + ")";
    return false;
  }
  // A short fixed prefix: a Unix socket path may not exceed about 100 bytes.
  if (Run("mktemp -d /tmp/nurv-pg-XXXXXX", &output) != 0) {
    *why_not = "cannot create a folder for the cluster: " + output;
    return false;
  }
  base_dir_ = FirstLine(output);
  data_dir_ = base_dir_ + "/data";
  socket_dir_ = base_dir_ + "/sock";
  port_ = kPort;
  const bool root = Run("test \"$(id -u)\" = 0") == 0;
  // initdb and the server refuse to run as root.
  if (root) run_as_ = "runuser -u postgres -- ";
  if (Run("cd " + base_dir_ + " && mkdir sock && chmod 711 . && printf %s '" + kSuperPassword +
              "' >pw" + (root ? " && chown postgres: . sock pw" : ""),
          &output) != 0) {
    *why_not = "cannot prepare the cluster's folder: " + output;
    return false;
  }
  if (Run(run_as_ + kBin + "initdb -D " + data_dir_ +
              " -U postgres --auth=scram-sha-256 --pwfile=" + base_dir_ +
              "/pw -E UTF8 --no-locale -N",
          &output) != 0) {
    *why_not = "initdb failed: " + output;
    return false;
  }
  if (Run(run_as_ + kBin + "pg_ctl -D " + data_dir_ + " -l " + base_dir_ + "/log -w -t 60 -o \"" +
              "-c listen_addresses='' -k " + socket_dir_ + " -p " + std::to_string(port_) +
              " -c fsync=off -c full_page_writes=off -c max_connections=200\" start",
          &output) != 0) {
    *why_not = "the server did not start: " + output;
    return false;
  }
  running_ = true;
  try {
    Execute("CREATE DATABASE " + std::string(kDatabase) + " ENCODING 'UTF8'", "postgres");
    Execute(std::string("CREATE TABLE UpdatesBLOB (vcode integer, icode integer, tdoc text, ") +
            "version text, name text, caption text, result integer, wdate timestamp, " +
            "updatedate timestamp, repl integer, fblob bytea);" + "CREATE ROLE \"" + kLoaderLogin +
            "\" LOGIN PASSWORD '" + kLoaderPassword + "';" + "CREATE ROLE \"" + kNoSelectLogin +
            "\" LOGIN PASSWORD '" + kNoSelectPassword + "';" + "GRANT SELECT ON UpdatesBLOB TO \"" +
            kLoaderLogin + "\";");
  } catch (const std::exception& error) {
    *why_not = error.what();
    return false;
  }
  return true;
}

PgServer::~PgServer() {
  if (running_) Run(run_as_ + kBin + "pg_ctl -D " + data_dir_ + " -m immediate -w stop");
  if (!base_dir_.empty()) Run("rm -rf " + base_dir_);
}

std::string PgServer::ServerName() const {
  return "odbc:Driver={PostgreSQL Unicode};Servername=" + socket_dir_ +
         ";Port=" + std::to_string(port_);
}

std::string PgServer::DeadServerName() const {
  return "odbc:Driver={PostgreSQL Unicode};Servername=" + socket_dir_ +
         ";Port=" + std::to_string(kDeadPort);
}

void PgServer::Execute(const std::string& sql, const std::string& database) const {
  const std::string file = base_dir_ + "/query.sql";
  WriteText(Local(file), sql);
  std::string output;
  const int status = Run(std::string("PGPASSWORD=") + kSuperPassword + " " + kBin +
                             "psql -X -q -h " + socket_dir_ + " -p " + std::to_string(port_) +
                             " -U postgres -d " + database + " -v ON_ERROR_STOP=1 -f " + file,
                         &output);
  if (status != 0) throw std::runtime_error("psql failed: " + output);
}

std::string PgServer::MakeServerReadableFile(const std::string& name,
                                             const std::string& bytes) const {
  const std::string path = base_dir_ + "/" + name;
  WriteText(Local(path), bytes);
  if (Run("chmod 644 " + path) != 0) throw std::runtime_error("cannot hand " + path + " over");
  return path;
}

}  // namespace nurv::testing
