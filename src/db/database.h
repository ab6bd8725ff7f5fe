#pragma once
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/value.h"

// The loader's database access layer: one connection, datasets on it with a client-side filter,
// typed field reads and BLOBs streamed to files. The backend follows the server name:
// "sqlite:PATH" (SQLite, read-only), "odbc:CONNECTION" (ODBC), anything else SQL Server through
// ODBC.
namespace nurv::db {

// What went wrong, as the backend knows it.
enum class ErrorKind {
  Unreachable,    // the server, or the database file, cannot be reached
  LoginRejected,  // the login is refused (a database that is not there counts as one)
  NoPermission,   // the login may not do what was asked (read a table, open a file)
  // Another connection keeps the database locked and this connection's wait for it is spent (one
  // budget of the connection's time-out for all its reads): every further read fails the same
  // way at once until the lock is gone.
  Busy,
  Other,
};

// Every failure of the layer. what() is the provider's message; it says what the kind is in the
// words the loader's log has always shown, whatever the backend: "ConnectionOpen (Connect())"
// for an unreachable server, "Login failed for user" for a rejected login, "permission" for a
// refused read.
class DbError : public std::runtime_error {
 public:
  explicit DbError(const std::string& message, ErrorKind kind = ErrorKind::Other)
      : std::runtime_error(message), kind_(kind) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

// The kind of any error: Other for one that does not come from this layer.
ErrorKind KindOf(const std::exception& error);

// A NULL or a value that cannot be converted to the type asked for.
class ConversionError : public DbError {
 public:
  using DbError::DbError;
};

// `text` as an SQL string literal: in single quotes, a quote inside doubled.
std::string SqlLiteral(std::string_view text);

// The rows a dataset shows while filtering is on: those whose `column` holds `value` as SQL
// Server's default collation compares text, without regard to case (ASCII) or trailing blanks, so
// that the filter agrees with a WHERE clause on the server.
struct RowFilter {
  std::string column;
  std::string value;
};

// Takes the bytes of a BLOB as they arrive.
using BlobSink = std::function<void(const std::uint8_t* data, std::size_t size)>;

class Dataset {
 public:
  virtual ~Dataset() = default;

  // The client-side filter; none shows every row. DbError for a column the dataset lacks.
  virtual void SetFilter(const std::optional<RowFilter>& filter) = 0;
  virtual void SetFiltered(bool on) = 0;

  // Count and navigation see only the matching records while filtering is on.
  virtual int RecordCount() const = 0;
  virtual void First() = 0;
  virtual void Next() = 0;
  virtual bool Eof() const = 0;

  // Moves to the first record whose field equals `value` exactly; false (position unchanged)
  // when there is none.
  virtual bool Locate(const std::string& field, const Value& value) = 0;

  // The current record's field by column name (case-insensitive); DbError for an unknown column.
  virtual Value Field(const std::string& name) const = 0;

  // Typed reads of the current record; ConversionError for NULL or an unconvertible value.
  std::string AsString(const std::string& name) const;
  // An integer, or the decimal text of one.
  std::int64_t AsInt64(const std::string& name) const;
  // A date-time, or its text "YYYY-MM-DD HH:MM:SS[.SSS]".
  DateTime AsDateTime(const std::string& name) const;

  // BLOB fields are never held in memory whole.
  virtual bool BlobIsNull(const std::string& field) = 0;
  // Hands the current record's BLOB to `sink` chunk by chunk, in order; DbError for a NULL BLOB.
  // An error the sink raises ends the read and passes to the caller.
  virtual void ReadBlob(const std::string& field, const BlobSink& sink) = 0;
};

// How an SQLite file is opened; server databases grant what the login may do whatever is asked.
enum class OpenMode {
  ReadOnly,   // the loader's way: the file must exist and is never changed
  ReadWrite,  // an existing file
  Create,     // created when it does not exist yet
};

// The engine behind a connection, for the few statements whose text differs between engines.
enum class Engine { Sqlite, SqlServer, PostgreSql, Other };

// A value for an INSERT: a plain value, or a file whose bytes go into a BLOB column in chunks.
struct BlobFile {
  std::string path;
};
using InsertValue = std::variant<Value, BlobFile>;

// Where and as whom a connection logs in.
struct ConnectParams {
  std::string server;  // "sqlite:PATH", "odbc:CONNECTION" or an SQL Server name
  std::string database;
  std::string user;
  std::optional<std::string> password;  // none: the login is made without a password attribute
  // How long the connection waits for the server, in seconds; 0 for no limit. On SQLite, what
  // all reads of the connection may wait, in all, for another connection's lock.
  int timeout_seconds = 30;
  // How long one statement may run on an ODBC server, in seconds; 0 for no limit. (SQLite's
  // statements wait within timeout_seconds.)
  int statement_timeout_seconds = 0;
  OpenMode mode = OpenMode::ReadOnly;

  bool operator==(const ConnectParams&) const = default;
};

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Closes the connection when they differ from the parameters in use.
  void SetParams(const ConnectParams& params);
  // DbError with the provider's message on failure.
  void Open();
  void Close();
  bool IsOpen() const;

  // First column of the first record; DbError when the result has no record.
  Value ExecuteScalar(const std::string& sql);
  // Opens a dataset on this connection; DbError with the provider's message on failure.
  std::unique_ptr<Dataset> OpenDataset(const std::string& sql);
  // The rows of `sql` in one statement, the bytes of their BLOBs with them (ReadBlob hands them
  // out of memory): for BLOBs the caller knows to be small, as all of them are held at once
  // (through ODBC, while they are fetched, twice or more).
  std::unique_ptr<Dataset> OpenDatasetWithBlobs(const std::string& sql);
  // The engine's expression for the length in bytes of the BLOB column `column`.
  std::string BlobLengthSql(std::string_view column);

  Engine engine();
  // Runs a statement that returns no records, its "?" markers bound to `parameters` in order;
  // the number of rows it changed.
  std::int64_t Execute(const std::string& sql, const std::vector<Value>& parameters = {});
  // Inserts one row into `table`: each column with its value; a BlobFile is streamed in chunks,
  // never held in memory whole.
  void Insert(const std::string& table,
              const std::vector<std::pair<std::string, InsertValue>>& columns);

  // One transaction at a time; statements in between take effect together at CommitTransaction.
  void BeginTransaction();
  void CommitTransaction();
  void RollbackTransaction();

  class Backend;

 private:
  ConnectParams params_;
  std::unique_ptr<Backend> backend_;
};

// A transaction that is rolled back unless committed, also when an error leaves its scope.
class Transaction {
 public:
  explicit Transaction(Connection& connection);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Connection& connection_;
  bool open_ = true;
};

}  // namespace nurv::db
