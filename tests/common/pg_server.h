#pragma once
#include <string>

namespace nurv::testing {

// A throw-away PostgreSQL cluster for the tests of one executable: started on first use
// (initdb with scram-sha-256 passwords, listening on a private Unix socket folder only; run as the
// `postgres` system user when the tests run as root), stopped and removed at exit. The Windows
// builds' tests start the host's PostgreSQL the same way through Wine and reach it through Wine's
// odbc32 and the host's ODBC driver, as a workstation reaches its server. It holds the
// database kDatabase with the table UpdatesBLOB (fblob bytea), the loader's login with SELECT
// on it, and kNoSelectLogin without that right.
class PgServer {
 public:
  static constexpr char kDatabase[] = "nurvupd";
  static constexpr char kLoaderLogin[] = "NurvLoader";
  static constexpr char kLoaderPassword[] = "NurvUpd#6300";
  static constexpr char kNoSelectLogin[] = "NurvNoSelect";
  static constexpr char kNoSelectPassword[] = "NoSelect#1";

  // The shared server, or nullptr when PostgreSQL cannot be started here; `why_not` then says
  // why (for GTEST_SKIP).
  static PgServer* Get(std::string* why_not);

  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  const std::string& socket_dir() const { return socket_dir_; }
  int port() const { return port_; }
  // The loader's server name for this cluster:
  // "odbc:Driver={PostgreSQL Unicode};Servername=<socket folder>;Port=<port>".
  std::string ServerName() const;
  // The same form on a port where nothing listens.
  std::string DeadServerName() const;

  // Runs `sql` as the superuser in `database`; throws std::runtime_error with psql's output.
  void Execute(const std::string& sql, const std::string& database = kDatabase) const;
  // Writes `bytes` to a file the server process may read (for pg_read_binary_file); returns its
  // path.
  std::string MakeServerReadableFile(const std::string& name, const std::string& bytes) const;

 private:
  PgServer() = default;
  bool Start(std::string* why_not);

  std::string base_dir_;
  std::string data_dir_;
  std::string socket_dir_;
  std::string run_as_;  // "runuser -u postgres -- " when root
  int port_ = 0;
  bool running_ = false;
};

}  // namespace nurv::testing
