// The ODBC backend: SQL Server and any other engine with an ODBC driver. Only the ODBC API is
// used, through its wide-character entry points, so the same code serves unixODBC and Windows.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/text_utils.h"
#include "base/utf8.h"
#include "db/db_internal.h"
#include "db/odbc_diagnostics.h"

namespace nurv::db {

namespace {

constexpr std::size_t kBlobChunk = 1 << 20;
constexpr std::size_t kTextChunk = 4096;  // characters

using WString = std::basic_string<SQLWCHAR>;

// ---- UTF-8 <-> UTF-16 at the wide entry points ----

WString Widen(std::string_view text) { return Utf8ToUtf16<SQLWCHAR>(text); }

std::string Narrow(const SQLWCHAR* text, std::size_t size) { return Utf16ToUtf8(text, size); }

class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
      handle_ = SQL_NULL_HANDLE;
      throw DbError(type == SQL_HANDLE_ENV ? "The ODBC driver manager cannot be loaded"
                                           : "An ODBC handle cannot be allocated");
    }
  }
  ~Handle() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  SQLHANDLE get() const { return handle_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

struct Session {
  std::unique_ptr<Handle> env;
  std::unique_ptr<Handle> dbc;
  bool connected = false;
  Engine engine = Engine::Other;
  SQLULEN statement_timeout_seconds = 0;
  // SQL Server's own SQL, or the standard's that PostgreSQL and most others speak.
  SqlDialect dialect() const {
    return engine == Engine::SqlServer ? SqlDialect::SqlServer : SqlDialect::Standard;
  }
  ~Session() {
    if (connected) SQLDisconnect(dbc->get());
    dbc.reset();
    env.reset();
  }
};

// ---- reading cells ----

enum class Kind { Integer, Numeric, Real, DateTime, Binary, Text };

struct ColumnInfo {
  std::string name;
  Kind kind = Kind::Text;
};

Kind KindOf(SQLSMALLINT type, SQLSMALLINT scale) {
  switch (type) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_BIT:
      return Kind::Integer;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return scale == 0 ? Kind::Numeric : Kind::Real;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Kind::Real;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE:
      return Kind::DateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return Kind::Binary;
    default:
      return Kind::Text;
  }
}

// Holds a statement of the session to the session's time-out.
void LimitStatement(const Session& session, const Handle& statement) {
  if (session.statement_timeout_seconds > 0)
    SQLSetStmtAttr(statement.get(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(session.statement_timeout_seconds), 0);
}

class Statement {
 public:
  explicit Statement(Session& session)
      : session_(session), handle_(SQL_HANDLE_STMT, session.dbc->get()) {
    LimitStatement(session_, handle_);
  }

  void Execute(const std::string& sql) {
    WString wide = Widen(sql);
    const SQLRETURN rc =
        SQLExecDirectW(handle_.get(), wide.data(), static_cast<SQLINTEGER>(wide.size()));
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail();
    DescribeColumns();
  }

  // Prepares `sql` and describes its result without running it.
  void Prepare(const std::string& sql) {
    WString wide = Widen(sql);
    Check(SQLPrepareW(handle_.get(), wide.data(), static_cast<SQLINTEGER>(wide.size())));
    DescribeColumns();
  }

  // Runs the prepared statement.
  void ExecutePrepared() {
    const SQLRETURN rc = SQLExecute(handle_.get());
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail();
  }

  bool Fetch() {
    const SQLRETURN rc = SQLFetch(handle_.get());
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) Fail();
    return true;
  }

  const std::vector<ColumnInfo>& columns() const { return columns_; }

  // A cell of the current row: its value, or for a BLOB left on the server only whether it is
  // NULL.
  struct Cell {
    Value value;
    bool blob = false;
  };

  // Column `index` (0-based) of the current row.
  Cell Read(std::size_t index) {
    if (columns_[index].kind != Kind::Binary) return {ReadScalar(index)};
    SQLLEN indicator = 0;
    unsigned char probe = 0;
    const SQLRETURN rc = SQLGetData(handle_.get(), static_cast<SQLUSMALLINT>(index + 1),
                                    SQL_C_BINARY, &probe, 0, &indicator);
    if (rc != SQL_NO_DATA) Check(rc);
    if (indicator == SQL_NULL_DATA) return {NullValue{}};
    return {Value{}, true};
  }

  // Hands column `index` of the current row to `sink` in chunks; false, and nothing handed, for
  // NULL.
  bool StreamBinary(std::size_t index, const BlobSink& sink) {
    const auto column = static_cast<SQLUSMALLINT>(index + 1);
    std::vector<unsigned char> buffer(kBlobChunk);
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN rc = SQLGetData(handle_.get(), column, SQL_C_BINARY, buffer.data(),
                                      static_cast<SQLLEN>(buffer.size()), &indicator);
      if (rc == SQL_NO_DATA) break;
      Check(rc);
      if (indicator == SQL_NULL_DATA) return false;
      const std::size_t got =
          (indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(buffer.size()))
              ? buffer.size()
              : static_cast<std::size_t>(indicator);
      sink(buffer.data(), got);
      if (rc == SQL_SUCCESS) break;
    }
    return true;
  }

 private:
  void DescribeColumns() {
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(handle_.get(), &count))) Fail();
    columns_.clear();
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
      SQLWCHAR name[512] = {};
      SQLSMALLINT name_length = 0, type = 0, scale = 0, nullable = 0;
      SQLULEN size = 0;
      if (!SQL_SUCCEEDED(SQLDescribeColW(handle_.get(), i, name, 512, &name_length, &type, &size,
                                         &scale, &nullable)))
        Fail();
      columns_.push_back(
          {Narrow(name, std::min<std::size_t>(
                            static_cast<std::size_t>(std::max<SQLSMALLINT>(name_length, 0)), 511)),
           KindOf(type, scale)});
    }
  }

  // Column `index` of the current row, not a BLOB.
  Value ReadScalar(std::size_t index) {
    const auto column = static_cast<SQLUSMALLINT>(index + 1);
    SQLLEN indicator = 0;
    switch (columns_[index].kind) {
      case Kind::Integer: {
        SQLBIGINT number = 0;
        Check(SQLGetData(handle_.get(), column, SQL_C_SBIGINT, &number, sizeof number, &indicator));
        if (indicator == SQL_NULL_DATA) return NullValue{};
        return static_cast<std::int64_t>(number);
      }
      case Kind::Real: {
        double number = 0;
        Check(SQLGetData(handle_.get(), column, SQL_C_DOUBLE, &number, sizeof number, &indicator));
        if (indicator == SQL_NULL_DATA) return NullValue{};
        return number;
      }
      case Kind::DateTime: {
        SQL_TIMESTAMP_STRUCT stamp{};
        Check(SQLGetData(handle_.get(), column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp,
                         &indicator));
        if (indicator == SQL_NULL_DATA) return NullValue{};
        const std::chrono::year_month_day date{std::chrono::year(stamp.year),
                                               std::chrono::month(stamp.month),
                                               std::chrono::day(stamp.day)};
        return DateTime(std::chrono::local_days(date).time_since_epoch()) +
               std::chrono::hours(stamp.hour) + std::chrono::minutes(stamp.minute) +
               std::chrono::seconds(stamp.second) +
               std::chrono::milliseconds(stamp.fraction / 1000000);
      }
      case Kind::Binary:  // Read's own
        break;
      case Kind::Numeric:
      case Kind::Text: {
        auto text = ReadText(column);
        if (!text) return NullValue{};
        if (columns_[index].kind == Kind::Numeric) {
          try {
            std::size_t used = 0;
            const long long number = std::stoll(*text, &used);
            if (used == text->size()) return static_cast<std::int64_t>(number);
          } catch (const std::exception&) {
          }
        }
        return *text;
      }
    }
    return Value{};
  }

  std::optional<std::string> ReadText(SQLUSMALLINT column) {
    std::vector<SQLWCHAR> buffer(kTextChunk + 1);
    WString text;
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN rc =
          SQLGetData(handle_.get(), column, SQL_C_WCHAR, buffer.data(),
                     static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)), &indicator);
      if (rc == SQL_NO_DATA) break;
      Check(rc);
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      const std::size_t chars = (indicator == SQL_NO_TOTAL ||
                                 indicator >= static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)))
                                    ? buffer.size() - 1
                                    : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
      text.append(buffer.data(), chars);
      if (rc == SQL_SUCCESS) break;
    }
    return Narrow(text.data(), text.size());
  }

  void Check(SQLRETURN rc) {
    if (!SQL_SUCCEEDED(rc)) Fail();
  }
  [[noreturn]] void Fail() { FailStatement(handle_.get(), session_.dbc->get()); }

  Session& session_;
  Handle handle_;
  std::vector<ColumnInfo> columns_;
};

// A statement prepared with its "?" markers bound. Bound values live as long as the statement:
// the driver reads them at execution.
class BoundStatement {
 public:
  BoundStatement(Session& session, const std::string& sql)
      : session_(session), handle_(SQL_HANDLE_STMT, session.dbc->get()) {
    LimitStatement(session_, handle_);
    WString wide = Widen(sql);
    Check(SQLPrepareW(handle_.get(), wide.data(), static_cast<SQLINTEGER>(wide.size())));
  }

  void Bind(const Value& value) {
    auto& cell = cells_.emplace_back(std::make_unique<Cell>());
    const auto index = static_cast<SQLUSMALLINT>(cells_.size());
    SQLSMALLINT c_type = SQL_C_CHAR, sql_type = SQL_VARCHAR;
    SQLULEN size = 1;
    SQLSMALLINT digits = 0;
    SQLPOINTER data = nullptr;
    SQLLEN length = 0;
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
      cell->number = *number;
      c_type = SQL_C_SBIGINT;
      sql_type = SQL_BIGINT;
      data = &cell->number;
    } else if (const auto* real = std::get_if<double>(&value)) {
      cell->real = *real;
      c_type = SQL_C_DOUBLE;
      sql_type = SQL_DOUBLE;
      data = &cell->real;
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      cell->text = Widen(*text);
      c_type = SQL_C_WCHAR;
      sql_type = SQL_WVARCHAR;
      size = std::max<SQLULEN>(cell->text.size(), 1);
      data = cell->text.data();
      length = static_cast<SQLLEN>(cell->text.size() * sizeof(SQLWCHAR));
    } else if (const auto* time = std::get_if<DateTime>(&value)) {
      using namespace std::chrono;
      const auto day = floor<days>(*time);
      const year_month_day date{day};
      const hh_mm_ss clock{*time - day};
      cell->stamp.year = static_cast<SQLSMALLINT>(static_cast<int>(date.year()));
      cell->stamp.month = static_cast<SQLUSMALLINT>(static_cast<unsigned>(date.month()));
      cell->stamp.day = static_cast<SQLUSMALLINT>(static_cast<unsigned>(date.day()));
      cell->stamp.hour = static_cast<SQLUSMALLINT>(clock.hours().count());
      cell->stamp.minute = static_cast<SQLUSMALLINT>(clock.minutes().count());
      cell->stamp.second = static_cast<SQLUSMALLINT>(clock.seconds().count());
      cell->stamp.fraction = static_cast<SQLUINTEGER>(clock.subseconds().count() * 1000000);
      c_type = SQL_C_TYPE_TIMESTAMP;
      sql_type = SQL_TYPE_TIMESTAMP;
      size = 23;  // "YYYY-MM-DD HH:MM:SS.SSS", as SQL Server's datetime keeps it
      digits = 3;
      data = &cell->stamp;
      length = sizeof cell->stamp;
    } else {
      length = SQL_NULL_DATA;
    }
    cell->length = length;
    Check(SQLBindParameter(handle_.get(), index, SQL_PARAM_INPUT, c_type, sql_type, size, digits,
                           data, 0, &cell->length));
  }

  // A BLOB whose bytes are sent at execution, in chunks, from `file`.
  void BindBlob(const BlobFile& file) {
    auto& cell = cells_.emplace_back(std::make_unique<Cell>());
    const auto index = static_cast<SQLUSMALLINT>(cells_.size());
    const std::uint64_t size = BlobFileSize(file);
    cell->blob_path = file.path;
    cell->length = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(size));
    // SQL Server takes long binary data into varbinary(max); psqlODBC would make a large object
    // of it, where a bytea column wants plain binary.
    const SQLSMALLINT sql_type =
        session_.engine == Engine::SqlServer ? SQL_LONGVARBINARY : SQL_VARBINARY;
    Check(SQLBindParameter(handle_.get(), index, SQL_PARAM_INPUT, SQL_C_BINARY, sql_type,
                           static_cast<SQLULEN>(std::max<std::uint64_t>(size, 1)), 0,
                           reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(index)), 0,
                           &cell->length));
  }

  // Runs the statement, sending the BLOBs as the driver asks for them; the rows it changed.
  std::int64_t Run() {
    SQLRETURN rc = SQLExecute(handle_.get());
    if (rc == SQL_NEED_DATA) {
      std::vector<unsigned char> buffer(kBlobChunk);
      SQLPOINTER token = nullptr;
      while ((rc = SQLParamData(handle_.get(), &token)) == SQL_NEED_DATA) {
        const auto index = reinterpret_cast<std::uintptr_t>(token);
        if (index == 0 || index > cells_.size())
          throw DbError("The driver asked for an unknown BLOB");
        BlobFileReader reader(cells_[index - 1]->blob_path);
        bool sent = false;
        while (const std::size_t got = reader.Read(buffer.data(), buffer.size())) {
          Check(SQLPutData(handle_.get(), buffer.data(), static_cast<SQLLEN>(got)));
          sent = true;
        }
        if (!sent) Check(SQLPutData(handle_.get(), buffer.data(), 0));
      }
    }
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail();
    SQLLEN rows = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(handle_.get(), &rows))) rows = 0;
    return rows;
  }

 private:
  struct Cell {
    std::int64_t number = 0;
    double real = 0;
    WString text;
    SQL_TIMESTAMP_STRUCT stamp{};
    std::string blob_path;
    SQLLEN length = 0;
  };

  void Check(SQLRETURN rc) {
    if (!SQL_SUCCEEDED(rc)) Fail();
  }
  [[noreturn]] void Fail() { FailStatement(handle_.get(), session_.dbc->get()); }

  Session& session_;
  Handle handle_;
  std::vector<std::unique_ptr<Cell>> cells_;
};

constexpr char kNotInResult[] =
    "The record is no longer in the result of the query; its BLOB cannot be read";

// The rows of an executed statement, each cell as `Read` gives it.
std::vector<RowsetDataset::Row> ReadRows(Statement& stmt) {
  std::vector<RowsetDataset::Row> rows;
  while (stmt.Fetch()) {
    RowsetDataset::Row row;
    for (std::size_t i = 0; i < stmt.columns().size(); ++i) {
      Statement::Cell cell = stmt.Read(i);
      row.cells.push_back(std::move(cell.value));
      row.blob.push_back(cell.blob);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// The rows of an executed statement with the bytes of their BLOBs, each BLOB as one string.
std::vector<RowsetDataset::Row> ReadRowsWithBlobs(Statement& stmt) {
  std::vector<RowsetDataset::Row> rows;
  while (stmt.Fetch()) {
    RowsetDataset::Row row{{}, std::vector<bool>(stmt.columns().size(), false)};
    for (std::size_t i = 0; i < stmt.columns().size(); ++i) {
      if (stmt.columns()[i].kind != Kind::Binary) {
        row.cells.push_back(stmt.Read(i).value);
        continue;
      }
      std::string bytes;
      const bool present = stmt.StreamBinary(i, [&](const std::uint8_t* data, std::size_t size) {
        bytes.append(reinterpret_cast<const char*>(data), size);
      });
      row.cells.push_back(present ? Value(std::move(bytes)) : Value(NullValue{}));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// A result whose BLOBs stayed on the server. A BLOB is read again by its row's vcode, in slices
// (kBlobSliceBytes), each one query of its own: no driver ever holds more than a slice.
class OdbcDataset : public RowsetDataset {
 public:
  OdbcDataset(std::shared_ptr<Session> session, std::string sql, std::vector<std::string> columns,
              std::vector<Row> rows)
      : RowsetDataset(std::move(columns), std::move(rows)),
        session_(std::move(session)),
        sql_(std::move(sql)) {}

 protected:
  void StreamBlob(const Row& row, std::size_t column, const BlobSink& sink) override {
    const std::size_t key = KeyColumn();
    const BlobSlices slices{session_->dialect(), sql_, columns()[column], columns()[key],
                            KeyLiteral(row.cells[key])};
    const std::int64_t size = BlobLength(slices);
    // A row rewritten between two slices gives bytes that mix both versions; the loader's
    // CRC-32 check against the row's caption refuses it, as it refuses any other wrong bytes.
    for (std::int64_t offset = 0; offset < size; offset += kBlobSliceBytes) {
      Statement slice(*session_);
      slice.Execute(slices.SliceSql(offset, std::min(kBlobSliceBytes, size - offset)));
      if (!slice.Fetch()) throw DbError(kNotInResult);
      if (!slice.StreamBinary(0, sink)) throw DbError("The BLOB is NULL");
    }
  }

 private:
  static constexpr char kKeyColumn[] = "vcode";

  // Its statement is closed before the slices' run: some drivers keep one open result per
  // connection.
  std::int64_t BlobLength(const BlobSlices& slices) const {
    Statement length(*session_);
    length.Execute(slices.LengthSql());
    if (!length.Fetch()) throw DbError(kNotInResult);
    const Value total = length.Read(0).value;
    if (length.Fetch())
      throw DbError("More than one record of the query has " + slices.key_column + " = " +
                    slices.key_literal + "; its BLOB cannot be read");
    if (IsNull(total)) throw DbError("The BLOB is NULL");
    const auto* size = std::get_if<std::int64_t>(&total);
    if (!size || *size < 0) throw DbError("The server gave no length of the BLOB");
    return *size;
  }

  std::size_t KeyColumn() const {
    for (std::size_t i = 0; i < columns().size(); ++i)
      if (EqualsIgnoringAsciiCase(columns()[i], kKeyColumn)) return i;
    throw DbError(std::string("The query has no field ") + kKeyColumn +
                  " by which a BLOB could be read");
  }

  static std::string KeyLiteral(const Value& key) {
    if (const auto* number = std::get_if<std::int64_t>(&key)) return std::to_string(*number);
    if (const auto* text = std::get_if<std::string>(&key)) return SqlLiteral(*text);
    throw DbError(std::string("The record's ") + kKeyColumn +
                  " is NULL or not a number or text; its BLOB cannot be read");
  }

  std::shared_ptr<Session> session_;
  std::string sql_;
};

class OdbcBackend : public Connection::Backend {
 public:
  explicit OdbcBackend(std::shared_ptr<Session> session) : session_(std::move(session)) {}

  Value ExecuteScalar(const std::string& sql) override {
    Statement stmt(*session_);
    stmt.Execute(Translate(sql));
    if (stmt.columns().empty() || !stmt.Fetch()) throw DbError("The query returned no records");
    Statement::Cell cell = stmt.Read(0);
    if (cell.blob) throw DbError("The first field of the query is a BLOB");
    return std::move(cell.value);
  }

  Engine engine() const override { return session_->engine; }

  std::int64_t Execute(const std::string& sql, const std::vector<Value>& parameters) override {
    BoundStatement stmt(*session_, Translate(sql));
    for (const Value& value : parameters) stmt.Bind(value);
    return stmt.Run();
  }

  void Insert(const std::string& table,
              const std::vector<std::pair<std::string, InsertValue>>& columns) override {
    BoundStatement stmt(*session_, InsertStatement(table, columns));
    for (const auto& [name, value] : columns) {
      if (const auto* plain = std::get_if<Value>(&value))
        stmt.Bind(*plain);
      else
        stmt.BindBlob(std::get<BlobFile>(value));
    }
    stmt.Run();
  }

  void Transact(TransactionStep step) override {
    SQLHANDLE dbc = session_->dbc->get();
    const auto autocommit = [&](SQLULEN on) {
      if (!SQL_SUCCEEDED(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(on), SQL_IS_UINTEGER)))
        FailStatement(SQL_NULL_HANDLE, dbc);
    };
    if (step == TransactionStep::Begin) {
      autocommit(SQL_AUTOCOMMIT_OFF);
      return;
    }
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc,
                                    step == TransactionStep::Commit ? SQL_COMMIT : SQL_ROLLBACK);
    if (!SQL_SUCCEEDED(rc)) FailStatement(SQL_NULL_HANDLE, dbc);
    autocommit(SQL_AUTOCOMMIT_ON);
  }

  // The statement is described before it runs: one without BLOB columns runs as it is; one with
  // them runs with each BLOB replaced by its length, so that no BLOB crosses the wire here.
  std::unique_ptr<Dataset> OpenDataset(const std::string& sql) override {
    const std::string text = Translate(sql);
    std::vector<std::string> names;
    std::vector<bool> blob;
    {
      // Closed before another statement runs: some drivers keep one open result per connection.
      Statement stmt(*session_);
      stmt.Prepare(text);
      if (stmt.columns().empty()) throw DbError("The statement returns no records");
      for (const ColumnInfo& column : stmt.columns()) {
        names.push_back(column.name);
        blob.push_back(column.kind == Kind::Binary);
      }
      if (std::find(blob.begin(), blob.end(), true) == blob.end()) {
        stmt.ExecutePrepared();
        return std::make_unique<OdbcDataset>(session_, text, std::move(names), ReadRows(stmt));
      }
    }
    Statement lengths(*session_);
    lengths.Execute(RowsWithBlobLengths(session_->dialect(), text, names, blob));
    std::vector<RowsetDataset::Row> rows = ReadRows(lengths);
    for (RowsetDataset::Row& row : rows)
      for (std::size_t i = 0; i < blob.size(); ++i)
        if (blob[i] && !IsNull(row.cells[i])) {
          row.cells[i] = Value{};
          row.blob[i] = true;
        }
    return std::make_unique<OdbcDataset>(session_, text, std::move(names), std::move(rows));
  }

  std::unique_ptr<Dataset> OpenDatasetWithBlobs(const std::string& sql) override {
    const std::string text = Translate(sql);
    Statement stmt(*session_);
    stmt.Execute(text);
    if (stmt.columns().empty()) throw DbError("The statement returns no records");
    std::vector<std::string> names;
    for (const ColumnInfo& column : stmt.columns()) names.push_back(column.name);
    std::vector<RowsetDataset::Row> rows = ReadRowsWithBlobs(stmt);
    return std::make_unique<OdbcDataset>(session_, text, std::move(names), std::move(rows));
  }

 private:
  std::string Translate(const std::string& sql) const {
    return session_->dialect() == SqlDialect::SqlServer ? sql : StripNolockHint(sql);
  }

  std::shared_ptr<Session> session_;
};

}  // namespace

std::unique_ptr<Connection::Backend> OpenOdbcBackend(const ConnectParams& params) {
  if (params.database.empty())
    throw DbError("Initial Catalog is empty: a database name is required");
  const std::string connection_string = BuildOdbcConnectionString(params);
  auto session = std::make_shared<Session>();
  session->statement_timeout_seconds = static_cast<SQLULEN>(params.statement_timeout_seconds);
  session->env = std::make_unique<Handle>(SQL_HANDLE_ENV, static_cast<SQLHANDLE>(SQL_NULL_HANDLE));
  SQLSetEnvAttr(session->env->get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  session->dbc = std::make_unique<Handle>(SQL_HANDLE_DBC, session->env->get());
  SQLSetConnectAttr(session->dbc->get(), SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(params.timeout_seconds)), 0);
  WString wide = Widen(connection_string);
  SQLSMALLINT out_length = 0;
  const SQLRETURN rc = SQLDriverConnectW(session->dbc->get(), nullptr, wide.data(),
                                         static_cast<SQLSMALLINT>(wide.size()), nullptr, 0,
                                         &out_length, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) FailConnect(SQL_HANDLE_DBC, session->dbc->get(), params);
  session->connected = true;
  SQLWCHAR dbms[128] = {};
  SQLSMALLINT dbms_length = 0;
  if (SQL_SUCCEEDED(
          SQLGetInfoW(session->dbc->get(), SQL_DBMS_NAME, dbms, sizeof dbms, &dbms_length))) {
    const std::string name = Narrow(
        dbms,
        std::min<std::size_t>(
            static_cast<std::size_t>(std::max<SQLSMALLINT>(dbms_length, 0)) / sizeof(SQLWCHAR),
            127));
    session->engine = name.find("SQL Server") != std::string::npos   ? Engine::SqlServer
                      : name.find("PostgreSQL") != std::string::npos ? Engine::PostgreSql
                                                                     : Engine::Other;
  }
  return std::make_unique<OdbcBackend>(std::move(session));
}

}  // namespace nurv::db
