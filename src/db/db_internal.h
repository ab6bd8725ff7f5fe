#pragma once
// Private to the database layer: the ODBC connection string, the classified errors, the backend
// interface and the in-memory result set that both backends fill.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/database.h"

namespace nurv::db {

// An ODBC attribute value as it can stand after "KEY=": bare when it holds no separator, else in
// braces with a "}" inside doubled, so nothing in it can end the attribute or start another.
std::string QuoteOdbcValue(std::string_view value);
// The ODBC connection string for an "odbc:" server name or, for any other name, SQL Server
// through the platform's driver.
std::string BuildOdbcConnectionString(const ConnectParams& params);
// The name of the ODBC driver used for a plain SQL Server name.
const char* DefaultSqlServerDriver();

// Removes the SQL Server table hint "(nolock)" outside literals, quoted names and comments;
// everything else stays as it is.
std::string StripNolockHint(std::string_view sql);

// The SQL of the engine behind an ODBC connection: SQL Server's own, or the standard's (as
// PostgreSQL and most others speak it).
enum class SqlDialect { SqlServer, Standard };

// A column name quoted for `dialect`: [name] or "name", the closing mark inside doubled.
std::string QuoteSqlName(SqlDialect dialect, std::string_view name);
// The length in bytes of the BLOB column `column`: NULL for a NULL BLOB, 0 for an empty one.
std::string BlobLengthOf(SqlDialect dialect, std::string_view column);

// How many bytes of a BLOB one query reads from an ODBC server. ODBC drivers hold a fetched value
// whole in memory (psqlODBC twice, as hex text and as bytes), so a BLOB is fetched in slices of
// this size, never as one value.
inline constexpr std::int64_t kBlobSliceBytes = 4 << 20;

// `query`'s rows with every column in `columns` as it is, except that each `blob` one gives its
// length in bytes under its own name: the rows without the bytes of their BLOBs.
std::string RowsWithBlobLengths(SqlDialect dialect, std::string_view query,
                                const std::vector<std::string>& columns,
                                const std::vector<bool>& blob);

// The queries that read the BLOB `blob_column` of the row of `query` whose `key_column` equals
// `key_literal`, with the server's own functions: its length, then slice after slice.
struct BlobSlices {
  SqlDialect dialect;
  std::string query;
  std::string blob_column;
  std::string key_column;
  std::string key_literal;

  std::string LengthSql() const;
  // `size` bytes from byte `offset` (0-based).
  std::string SliceSql(std::int64_t offset, std::int64_t size) const;

 private:
  std::string KeyCondition() const;
};

// The error of a failure of `kind` for the login `user`: the backend's `marker` and the engine's
// `text`, with the words of the kind (DbError) between them where the text does not hold them
// already.
DbError ClassifiedError(ErrorKind kind, std::string_view marker, const std::string& text,
                        std::string_view user = {});

class Connection::Backend {
 public:
  virtual ~Backend() = default;
  virtual Value ExecuteScalar(const std::string& sql) = 0;
  virtual std::unique_ptr<Dataset> OpenDataset(const std::string& sql) = 0;
  virtual std::unique_ptr<Dataset> OpenDatasetWithBlobs(const std::string& sql) = 0;
  virtual Engine engine() const = 0;
  virtual std::int64_t Execute(const std::string& sql, const std::vector<Value>& parameters) = 0;
  virtual void Insert(const std::string& table,
                      const std::vector<std::pair<std::string, InsertValue>>& columns) = 0;
  enum class TransactionStep { Begin, Commit, Rollback };
  virtual void Transact(TransactionStep step) = 0;
};

// "INSERT INTO table (a, b) VALUES (?, ?)" for the columns' names.
std::string InsertStatement(const std::string& table,
                            const std::vector<std::pair<std::string, InsertValue>>& columns);
// The size of a file streamed into a BLOB; DbError when it cannot be read.
std::uint64_t BlobFileSize(const BlobFile& blob);

// Reads a file for a BLOB in chunks; the path is UTF-8 on every platform.
class BlobFileReader {
 public:
  explicit BlobFileReader(const std::string& path);
  ~BlobFileReader();
  BlobFileReader(const BlobFileReader&) = delete;
  BlobFileReader& operator=(const BlobFileReader&) = delete;
  // Up to `size` bytes into `data`; 0 at the end; DbError on a read failure.
  std::size_t Read(void* data, std::size_t size);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

std::unique_ptr<Connection::Backend> OpenSqliteBackend(const ConnectParams& params);
std::unique_ptr<Connection::Backend> OpenOdbcBackend(const ConnectParams& params);

// A result held in memory without its BLOB contents; the backend streams a BLOB on demand.
class RowsetDataset : public Dataset {
 public:
  struct Row {
    std::vector<Value> cells;
    // Per cell: a BLOB whose bytes were left on the server (never NULL).
    std::vector<bool> blob;
    // Where the SQLite backend finds the row again: its rowid (-1 when it has none).
    std::int64_t locator = 0;
  };

  RowsetDataset(std::vector<std::string> columns, std::vector<Row> rows);

  void SetFilter(const std::optional<RowFilter>& filter) override;
  void SetFiltered(bool on) override;
  int RecordCount() const override;
  void First() override;
  void Next() override;
  bool Eof() const override;
  bool Locate(const std::string& field, const Value& value) override;
  Value Field(const std::string& name) const override;
  bool BlobIsNull(const std::string& field) override;
  void ReadBlob(const std::string& field, const BlobSink& sink) override;

 protected:
  // Hands the BLOB of `row`'s column `column` to `sink`.
  virtual void StreamBlob(const Row& row, std::size_t column, const BlobSink& sink) = 0;
  const std::vector<std::string>& columns() const { return columns_; }

 private:
  std::size_t ColumnIndex(const std::string& name) const;
  const Row& Current() const;
  void ApplyFilter();

  std::vector<std::string> columns_;
  std::vector<Row> rows_;
  std::optional<std::size_t> filter_column_;
  std::string filter_value_;
  bool filtered_ = false;
  std::vector<std::size_t> visible_;  // indexes into rows_
  std::size_t position_ = 0;          // index into visible_
};

}  // namespace nurv::db
