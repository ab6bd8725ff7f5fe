// The SQLite backend: an update database in a local file, opened read-only.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/date_utils.h"
#include "base/text_utils.h"
#include "base/utf8.h"
#include "db/db_internal.h"

namespace nurv::db {

namespace {

// sqlite3_blob_read reads the BLOB's pages straight into the buffer and the buffer goes to the
// file in one write: a chunk this size is still in the core's cache when the kernel copies it
// into the file (1 MiB chunks were a third slower, evicted before the write).
constexpr int kBlobChunk = 256 << 10;
// Between two looks at a database that another connection keeps locked.
constexpr std::chrono::milliseconds kBusyPause{20};

ErrorKind KindOfResult(int rc) {
  switch (rc & 0xff) {
    case SQLITE_AUTH:
    case SQLITE_PERM:
    case SQLITE_READONLY:
      return ErrorKind::NoPermission;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ErrorKind::Busy;
    default:
      return ErrorKind::Other;
  }
}

[[noreturn]] void Fail(sqlite3* db, int rc, const std::string& context) {
  std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  if (!context.empty()) text += " (" + context + ")";
  throw ClassifiedError(KindOfResult(rc), "[SQLite] ", text);
}

struct Session {
  sqlite3* db = nullptr;
  std::string path;
  // What this connection may wait, in all, for other connections' locks (zero: no limit), and
  // what it has waited so far.
  std::chrono::milliseconds busy_budget{0};
  std::chrono::steady_clock::duration busy_waited{};
  ~Session() { sqlite3_close_v2(db); }
};

// SQLite's busy handler: one budget for the connection's whole life, so a database that stays
// locked costs one time-out, not one per query; once spent, a busy database fails at once.
int WaitWhileBusy(void* context, int /*tries*/) {
  auto& session = *static_cast<Session*>(context);
  std::chrono::milliseconds pause = kBusyPause;
  if (session.busy_budget.count() > 0) {
    const auto left = session.busy_budget - session.busy_waited;
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    pause = std::min(pause, std::chrono::ceil<std::chrono::milliseconds>(left));
  }
  const auto start = std::chrono::steady_clock::now();
  sqlite3_sleep(static_cast<int>(pause.count()));
  session.busy_waited += std::chrono::steady_clock::now() - start;
  return 1;
}

class Statement {
 public:
  Statement(Session& session, const std::string& sql) : session_(session) {
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(session.db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, &tail);
    if (rc != SQLITE_OK) Fail(session.db, rc, "");
    if (!stmt_) throw DbError("[SQLite] the SQL text holds no statement");
    for (; tail && *tail; ++tail)
      if (!IsBlank(*tail) && *tail != ';') {
        // The destructor does not run for a constructor that throws.
        sqlite3_finalize(stmt_);
        throw DbError("[SQLite] only one statement can be run at a time");
      }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // true for a row, false at the end.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(session_.db, rc, "");
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  Session& session_;
  sqlite3_stmt* stmt_ = nullptr;
};

Value CellValue(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
      return static_cast<std::int64_t>(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
      return sqlite3_column_double(stmt, column);
    case SQLITE_NULL:
      return NullValue{};
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
      return std::string(bytes ? bytes : "",
                         static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
    }
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
      return std::string(text ? text : "",
                         static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
    }
  }
}

std::string QuoteName(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

// Where a result column comes from, so that its BLOB can be opened by rowid.
struct Origin {
  std::string database, table, column;
};

class SqliteDataset : public RowsetDataset {
 public:
  SqliteDataset(std::shared_ptr<Session> session, std::vector<std::string> columns,
                std::vector<Row> rows, std::vector<std::optional<Origin>> origins)
      : RowsetDataset(std::move(columns), std::move(rows)),
        session_(std::move(session)),
        origins_(std::move(origins)) {}

 protected:
  void StreamBlob(const Row& row, std::size_t column, const BlobSink& sink) override {
    const auto& origin = origins_[column];
    if (!origin || row.locator < 0)
      throw DbError("[SQLite] the BLOB of field '" + columns()[column] +
                    "' does not come from a table row and cannot be streamed");
    sqlite3_blob* blob = nullptr;
    const int rc = sqlite3_blob_open(session_->db, origin->database.c_str(), origin->table.c_str(),
                                     origin->column.c_str(), row.locator, 0, &blob);
    if (rc != SQLITE_OK) {
      sqlite3_blob_close(blob);
      Fail(session_->db, rc, "reading field '" + columns()[column] + "'");
    }
    const auto close =
        std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob*)>(blob, sqlite3_blob_close);
    const int size = sqlite3_blob_bytes(blob);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(size, kBlobChunk)));
    for (int offset = 0; offset < size;) {
      const int piece = std::min(kBlobChunk, size - offset);
      const int read_rc = sqlite3_blob_read(blob, buffer.data(), piece, offset);
      if (read_rc != SQLITE_OK)
        Fail(session_->db, read_rc, "reading field '" + columns()[column] + "'");
      sink(buffer.data(), static_cast<std::size_t>(piece));
      offset += piece;
    }
  }

 private:
  std::shared_ptr<Session> session_;
  std::vector<std::optional<Origin>> origins_;
};

// Binds `value` to marker `index` (1-based).
void BindValue(Session& session, sqlite3_stmt* stmt, int index, const Value& value) {
  int rc = SQLITE_OK;
  if (const auto* number = std::get_if<std::int64_t>(&value)) {
    rc = sqlite3_bind_int64(stmt, index, *number);
  } else if (const auto* real = std::get_if<double>(&value)) {
    rc = sqlite3_bind_double(stmt, index, *real);
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    rc =
        sqlite3_bind_text64(stmt, index, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } else if (const auto* time = std::get_if<DateTime>(&value)) {
    const std::string text = SqlDateTimeText(*time);
    rc = sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } else {
    rc = sqlite3_bind_null(stmt, index);
  }
  if (rc != SQLITE_OK) Fail(session.db, rc, "");
}

// Streams the file into the BLOB `column` of the row `rowid`, which holds a zero BLOB of its size.
void WriteBlob(Session& session, const std::string& table, const std::string& column,
               std::int64_t rowid, const BlobFile& file) {
  sqlite3_blob* blob = nullptr;
  const int rc =
      sqlite3_blob_open(session.db, "main", table.c_str(), column.c_str(), rowid, 1, &blob);
  if (rc != SQLITE_OK) {
    sqlite3_blob_close(blob);
    Fail(session.db, rc, "writing field '" + column + "'");
  }
  const auto close =
      std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob*)>(blob, sqlite3_blob_close);
  const int size = sqlite3_blob_bytes(blob);
  BlobFileReader reader(file.path);
  std::vector<char> buffer(static_cast<std::size_t>(std::min(std::max(size, 1), kBlobChunk)));
  int offset = 0;
  while (const std::size_t got = reader.Read(buffer.data(), buffer.size())) {
    if (static_cast<std::int64_t>(got) > size - offset)
      throw DbError("[SQLite] the file " + file.path + " grew while it was stored");
    const int write_rc = sqlite3_blob_write(blob, buffer.data(), static_cast<int>(got), offset);
    if (write_rc != SQLITE_OK) Fail(session.db, write_rc, "writing field '" + column + "'");
    offset += static_cast<int>(got);
  }
  if (offset != size)
    throw DbError("[SQLite] the file " + file.path + " shrank while it was stored");
}

class SqliteBackend : public Connection::Backend {
 public:
  explicit SqliteBackend(std::shared_ptr<Session> session) : session_(std::move(session)) {}

  Engine engine() const override { return Engine::Sqlite; }

  std::int64_t Execute(const std::string& sql, const std::vector<Value>& parameters) override {
    Statement stmt(*session_, StripNolockHint(sql));
    for (std::size_t i = 0; i < parameters.size(); ++i)
      BindValue(*session_, stmt.get(), static_cast<int>(i + 1), parameters[i]);
    while (stmt.Step()) {
    }
    return sqlite3_changes64(session_->db);
  }

  void Insert(const std::string& table,
              const std::vector<std::pair<std::string, InsertValue>>& columns) override {
    Statement stmt(*session_, InsertStatement(table, columns));
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const int index = static_cast<int>(i + 1);
      if (const auto* value = std::get_if<Value>(&columns[i].second)) {
        BindValue(*session_, stmt.get(), index, *value);
        continue;
      }
      const std::uint64_t size = BlobFileSize(std::get<BlobFile>(columns[i].second));
      if (size > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        throw DbError("[SQLite] the file is too large for a BLOB");
      const int rc = sqlite3_bind_zeroblob64(stmt.get(), index, size);
      if (rc != SQLITE_OK) Fail(session_->db, rc, "");
    }
    while (stmt.Step()) {
    }
    const std::int64_t rowid = sqlite3_last_insert_rowid(session_->db);
    for (const auto& [column, value] : columns)
      if (const auto* file = std::get_if<BlobFile>(&value))
        WriteBlob(*session_, table, column, rowid, *file);
  }

  void Transact(TransactionStep step) override {
    // IMMEDIATE takes the write lock at once: a second publisher waits here, not half-way.
    static constexpr const char* kStatements[] = {"BEGIN IMMEDIATE", "COMMIT", "ROLLBACK"};
    Statement stmt(*session_, kStatements[static_cast<int>(step)]);
    stmt.Step();
  }

  Value ExecuteScalar(const std::string& sql) override {
    Statement stmt(*session_, StripNolockHint(sql));
    if (sqlite3_column_count(stmt.get()) == 0 || !stmt.Step())
      throw DbError("[SQLite] the query returned no records");
    return CellValue(stmt.get(), 0);
  }

  std::unique_ptr<Dataset> OpenDataset(const std::string& sql) override {
    const std::string inner = StripNolockHint(sql);
    std::vector<std::string> names;
    std::vector<std::optional<Origin>> origins;
    {
      // The loader's own statement first: its errors are the ones to report.
      Statement plain(*session_, inner);
      const int count = sqlite3_column_count(plain.get());
      if (count == 0) throw DbError("[SQLite] the statement returns no records");
      for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(plain.get(), i);
        names.emplace_back(name ? name : "");
        const char* db = sqlite3_column_database_name(plain.get(), i);
        const char* table = sqlite3_column_table_name(plain.get(), i);
        const char* column = sqlite3_column_origin_name(plain.get(), i);
        if (db && table && column)
          origins.push_back(Origin{db, table, column});
        else
          origins.emplace_back();
      }
    }
    std::vector<RowsetDataset::Row> rows;
    if (const auto wrapped = WrappedQuery(inner, names)) {
      // Each BLOB is seen only through typeof(), which reads none of its bytes.
      Statement stmt(*session_, *wrapped);
      while (stmt.Step()) {
        RowsetDataset::Row row;
        row.locator = sqlite3_column_int64(stmt.get(), 0);
        row.cells.reserve(names.size());
        row.blob.reserve(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
          const int type_column = 1 + 2 * static_cast<int>(i);
          const auto* type =
              reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), type_column));
          const bool blob = type && std::string_view(type) == "blob";
          row.blob.push_back(blob);
          row.cells.push_back(blob ? Value{} : CellValue(stmt.get(), type_column + 1));
        }
        rows.push_back(std::move(row));
      }
    } else {
      // Not a plain single-table query: BLOBs are listed but cannot be streamed later.
      Statement stmt(*session_, inner);
      while (stmt.Step()) {
        RowsetDataset::Row row;
        row.locator = -1;
        for (std::size_t i = 0; i < names.size(); ++i) {
          const bool blob = sqlite3_column_type(stmt.get(), static_cast<int>(i)) == SQLITE_BLOB;
          row.blob.push_back(blob);
          row.cells.push_back(blob ? Value{} : CellValue(stmt.get(), static_cast<int>(i)));
        }
        rows.push_back(std::move(row));
      }
    }
    return std::make_unique<SqliteDataset>(session_, std::move(names), std::move(rows),
                                           std::move(origins));
  }

  std::unique_ptr<Dataset> OpenDatasetWithBlobs(const std::string& sql) override {
    Statement stmt(*session_, StripNolockHint(sql));
    const int count = sqlite3_column_count(stmt.get());
    if (count == 0) throw DbError("[SQLite] the statement returns no records");
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(stmt.get(), i);
      names.emplace_back(name ? name : "");
    }
    std::vector<RowsetDataset::Row> rows;
    while (stmt.Step()) {
      RowsetDataset::Row row{{}, std::vector<bool>(names.size(), false), -1};
      for (int i = 0; i < count; ++i) row.cells.push_back(CellValue(stmt.get(), i));
      rows.push_back(std::move(row));
    }
    return std::make_unique<SqliteDataset>(session_, std::move(names), std::move(rows),
                                           std::vector<std::optional<Origin>>(names.size()));
  }

 private:
  static constexpr char kRowidName[] = "nurv$rowid";

  // "SELECT <columns> FROM <table> ..." becomes a query that also yields each row's rowid and,
  // per column, typeof() and the value unless it is a BLOB. nullopt when the statement is not
  // of that simple form.
  std::optional<std::string> WrappedQuery(const std::string& inner,
                                          const std::vector<std::string>& names) {
    std::size_t i = 0;
    while (i < inner.size() && std::isspace(static_cast<unsigned char>(inner[i]))) ++i;
    if (inner.size() < i + 7 ||
        !EqualsIgnoringAsciiCase(std::string_view(inner).substr(i, 6), "select") ||
        !std::isspace(static_cast<unsigned char>(inner[i + 6])))
      return std::nullopt;
    std::size_t j = i + 6;
    while (j < inner.size() && std::isspace(static_cast<unsigned char>(inner[j]))) ++j;
    for (const std::string_view word : {"distinct", "all"})
      if (inner.size() >= j + word.size() &&
          EqualsIgnoringAsciiCase(std::string_view(inner).substr(j, word.size()), word))
        return std::nullopt;
    for (std::size_t a = 0; a < names.size(); ++a) {
      if (EqualsIgnoringAsciiCase(names[a], kRowidName)) return std::nullopt;
      for (std::size_t b = a + 1; b < names.size(); ++b)
        if (EqualsIgnoringAsciiCase(names[a], names[b])) return std::nullopt;
    }
    std::string sql = "SELECT " + QuoteName(kRowidName);
    for (const std::string& name : names) {
      const std::string quoted = QuoteName(name);
      sql += ", typeof(" + quoted + "), CASE typeof(" + quoted + ") WHEN 'blob' THEN NULL ELSE " +
             quoted + " END";
    }
    sql += " FROM (SELECT _rowid_ AS " + QuoteName(kRowidName) + ", " + inner.substr(j) + ")";
    sqlite3_stmt* probe = nullptr;
    const int rc = sqlite3_prepare_v2(session_->db, sql.c_str(), -1, &probe, nullptr);
    sqlite3_finalize(probe);
    if (rc != SQLITE_OK) return std::nullopt;
    return sql;
  }

  std::shared_ptr<Session> session_;
};

}  // namespace

std::unique_ptr<Connection::Backend> OpenSqliteBackend(const ConnectParams& params) {
  const std::string path = params.server.substr(std::string_view("sqlite:").size());
  if (params.database.empty())
    throw DbError("[SQLite] Initial Catalog is empty: a database name is required");
  std::error_code error;
  const auto status = std::filesystem::status(PathFromUtf8(path), error);
  const bool create = params.mode == OpenMode::Create && !std::filesystem::exists(status);
  if (path.empty() || (!create && !std::filesystem::is_regular_file(status)))
    throw ClassifiedError(ErrorKind::Unreachable, "[SQLite]",
                          "The database file does not exist or is not a file: \"" + path + "\"");
  auto session = std::make_shared<Session>();
  session->path = path;
  const int access = params.mode == OpenMode::ReadOnly ? SQLITE_OPEN_READONLY
                     : create                          ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                       : SQLITE_OPEN_READWRITE;
  const int rc =
      sqlite3_open_v2(path.c_str(), &session->db, access | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const bool denied = session->db && sqlite3_system_errno(session->db) == EACCES;
    const std::string engine = session->db ? sqlite3_errmsg(session->db) : sqlite3_errstr(rc);
    throw ClassifiedError(denied ? ErrorKind::NoPermission : ErrorKind::Unreachable, "[SQLite]",
                          engine + " (\"" + path + "\")");
  }
  sqlite3_extended_result_codes(session->db, 1);
  session->busy_budget = std::chrono::seconds(params.timeout_seconds);
  sqlite3_busy_handler(session->db, WaitWhileBusy, session.get());
  // Opening does not read the file; reading the schema tells a database from any other file.
  try {
    Statement probe(*session, "SELECT count(*) FROM sqlite_master");
    probe.Step();
  } catch (const DbError& e) {
    if (sqlite3_system_errno(session->db) == EACCES)
      throw ClassifiedError(ErrorKind::NoPermission, "[SQLite] ",
                            std::string(e.what()) + " (\"" + path + "\")");
    throw DbError(std::string(e.what()) + " (\"" + path + "\")", e.kind());
  }
  return std::make_unique<SqliteBackend>(std::move(session));
}

}  // namespace nurv::db
