#include "common/pg_server.h"

#ifndef _WIN32

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace nurv::testing {

namespace {

namespace fs = std::filesystem;

constexpr char kBin[] = "/usr/lib/postgresql/15/bin/";
constexpr char kSuperPassword[] = "pg-super-secret";

// Runs a shell command; its exit status and combined output.
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

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

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
  if (!fs::exists(std::string(kBin) + "initdb") || !fs::exists(std::string(kBin) + "psql")) {
    *why_not = std::string("PostgreSQL 15 is not installed (") + kBin + ")";
    return false;
  }
  // A short fixed prefix: a Unix socket path may not exceed about 100 bytes.
  char pattern[] = "/tmp/nurv-pg-XXXXXX";
  if (!mkdtemp(pattern)) {
    *why_not = "cannot create a folder for the cluster";
    return false;
  }
  base_dir_ = pattern;
  data_dir_ = base_dir_ + "/data";
  socket_dir_ = base_dir_ + "/sock";
  fs::create_directory(socket_dir_);
  fs::permissions(base_dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  WriteText(base_dir_ + "/pw", kSuperPassword);
  if (geteuid() == 0) {
    // initdb and the server refuse to run as root.
    const passwd* user = getpwnam("postgres");
    if (!user) {
      *why_not = "running as root and there is no postgres system user";
      return false;
    }
    for (const std::string& path : {base_dir_, socket_dir_, base_dir_ + "/pw"})
      if (chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) {
        *why_not = "cannot hand " + path + " to the postgres user";
        return false;
      }
    run_as_ = "runuser -u postgres -- ";
  }
  std::string output;
  if (Run(run_as_ + kBin + "initdb -D " + data_dir_ +
              " -U postgres --auth=scram-sha-256 --pwfile=" + base_dir_ +
              "/pw -E UTF8 --no-locale -N",
          &output) != 0) {
    *why_not = "initdb failed: " + output;
    return false;
  }
  port_ = FreePort();
  if (port_ == 0 ||
      Run(run_as_ + kBin + "pg_ctl -D " + data_dir_ + " -l " + base_dir_ + "/log -w -t 60 -o \"" +
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
  std::error_code ignored;
  if (!base_dir_.empty()) fs::remove_all(base_dir_, ignored);
}

std::string PgServer::ServerName() const {
  return "odbc:Driver={PostgreSQL Unicode};Servername=" + socket_dir_ +
         ";Port=" + std::to_string(port_);
}

std::string PgServer::DeadServerName() const {
  int dead = FreePort();
  if (dead == port_) dead = FreePort();
  return "odbc:Driver={PostgreSQL Unicode};Servername=" + socket_dir_ +
         ";Port=" + std::to_string(dead);
}

void PgServer::Execute(const std::string& sql, const std::string& database) const {
  const std::string file = base_dir_ + "/query.sql";
  WriteText(file, sql);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
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
  WriteText(path, bytes);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
  return path;
}

}  // namespace nurv::testing

#else  // _WIN32

// The throw-away cluster needs initdb, pg_ctl and Unix sockets: on Windows every test that asks for
// it skips with the reason below.
namespace nurv::testing {

PgServer* PgServer::Get(std::string* why_not) {
  if (why_not) *why_not = "the throw-away PostgreSQL cluster runs on POSIX systems only";
  return nullptr;
}
PgServer::~PgServer() = default;
bool PgServer::Start(std::string*) { return false; }
std::string PgServer::ServerName() const { return {}; }
std::string PgServer::DeadServerName() const { return {}; }
void PgServer::Execute(const std::string&, const std::string&) const {}
std::string PgServer::MakeServerReadableFile(const std::string&, const std::string&) const {
  return {};
}

}  // namespace nurv::testing

#endif  // _WIN32
