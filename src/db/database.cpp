#include "db/database.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "base/date_utils.h"
#include "base/text_utils.h"
#include "base/utf8.h"
#include "db/db_internal.h"

namespace nurv::db {

namespace {

std::optional<std::int64_t> ParseInt64(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

std::optional<double> ParseDouble(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty()) return std::nullopt;
  double number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// A value of the database or a path as a message shows it, on one line.
std::string Quoted(const std::string& text) {
  constexpr std::size_t kShown = 60;
  return "'" + EscapeControlBytes(text.size() > kShown ? text.substr(0, kShown) + "..." : text) +
         "'";
}

// Equality as Locate sees it: numbers by value, texts exactly, a text against a number by the
// number it spells; NULL matches nothing.
bool ValuesMatch(const Value& cell, const Value& wanted) {
  if (std::holds_alternative<std::monostate>(cell) || IsNull(cell) ||
      std::holds_alternative<std::monostate>(wanted) || IsNull(wanted))
    return false;
  const auto number_of = [](const Value& value) -> std::optional<double> {
    if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&value)) return *d;
    if (const auto* s = std::get_if<std::string>(&value)) return ParseDouble(*s);
    return std::nullopt;
  };
  if (const auto* a = std::get_if<std::int64_t>(&cell)) {
    if (const auto* b = std::get_if<std::int64_t>(&wanted)) return *a == *b;
    if (const auto* s = std::get_if<std::string>(&wanted)) {
      const auto parsed = ParseInt64(*s);
      return parsed && *parsed == *a;
    }
  }
  if (const auto* a = std::get_if<std::string>(&cell)) {
    if (const auto* b = std::get_if<std::string>(&wanted)) return *a == *b;
    if (const auto* b = std::get_if<std::int64_t>(&wanted)) {
      const auto parsed = ParseInt64(*a);
      return parsed && *parsed == *b;
    }
  }
  if (const auto* a = std::get_if<DateTime>(&cell)) {
    if (const auto* b = std::get_if<DateTime>(&wanted)) return *a == *b;
    if (const auto* s = std::get_if<std::string>(&wanted)) {
      const auto parsed = ParseDateTimeText(*s);
      return parsed && *parsed == *a;
    }
    return false;
  }
  const auto x = number_of(cell);
  const auto y = number_of(wanted);
  return x && y && *x == *y;
}

// As RowFilter compares.
bool FilterTextMatches(std::string_view cell, std::string_view wanted) {
  while (!cell.empty() && cell.back() == ' ') cell.remove_suffix(1);
  while (!wanted.empty() && wanted.back() == ' ') wanted.remove_suffix(1);
  return EqualsIgnoringAsciiCase(cell, wanted);
}

}  // namespace

// ---- Dataset: typed reads ----

std::string Dataset::AsString(const std::string& name) const {
  const Value value = Field(name);
  if (auto text = ValueText(value)) return *text;
  throw ConversionError("Field '" + name + "' is NULL and cannot be read as text");
}

std::int64_t Dataset::AsInt64(const std::string& name) const {
  const Value value = Field(name);
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (const auto parsed = ParseInt64(*text)) return *parsed;
    throw ConversionError(Quoted(*text) + " in field '" + name + "' is not a valid integer value");
  }
  if (const auto* real = std::get_if<double>(&value)) {
    // 2^63 is exactly representable; anything from there up does not fit.
    if (*real == static_cast<double>(static_cast<std::int64_t>(*real)) &&
        *real < 9.2233720368547758e18 && *real >= -9.2233720368547758e18)
      return static_cast<std::int64_t>(*real);
    throw ConversionError("The value of field '" + name + "' is not a whole number");
  }
  if (IsNull(value) || std::holds_alternative<std::monostate>(value))
    throw ConversionError("Field '" + name + "' is NULL and cannot be read as an integer");
  throw ConversionError("Field '" + name + "' holds a date-time, not an integer");
}

DateTime Dataset::AsDateTime(const std::string& name) const {
  const Value value = Field(name);
  if (const auto* time = std::get_if<DateTime>(&value)) return *time;
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (const auto parsed = ParseDateTimeText(*text)) return *parsed;
    throw ConversionError(Quoted(*text) + " in field '" + name + "' is not a valid date and time");
  }
  if (IsNull(value) || std::holds_alternative<std::monostate>(value))
    throw ConversionError("Field '" + name + "' is NULL and cannot be read as a date and time");
  throw ConversionError("Field '" + name + "' holds a number, not a date and time");
}

// ---- RowsetDataset ----

RowsetDataset::RowsetDataset(std::vector<std::string> columns, std::vector<Row> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {
  ApplyFilter();
}

std::size_t RowsetDataset::ColumnIndex(const std::string& name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (EqualsIgnoringAsciiCase(columns_[i], name)) return i;
  throw DbError("Field '" + name + "' not found");
}

void RowsetDataset::ApplyFilter() {
  visible_.clear();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (filtered_ && filter_column_) {
      const auto text = rows_[i].blob[*filter_column_] ? std::nullopt
                                                       : ValueText(rows_[i].cells[*filter_column_]);
      if (!text || !FilterTextMatches(*text, filter_value_)) continue;
    }
    visible_.push_back(i);
  }
  position_ = 0;
}

void RowsetDataset::SetFilter(const std::optional<RowFilter>& filter) {
  filter_column_.reset();
  filter_value_.clear();
  if (filter) {
    filter_column_ = ColumnIndex(filter->column);
    filter_value_ = filter->value;
  }
  ApplyFilter();
}

void RowsetDataset::SetFiltered(bool on) {
  filtered_ = on;
  ApplyFilter();
}

int RowsetDataset::RecordCount() const { return static_cast<int>(visible_.size()); }
void RowsetDataset::First() { position_ = 0; }
void RowsetDataset::Next() {
  if (position_ < visible_.size()) ++position_;
}
bool RowsetDataset::Eof() const { return position_ >= visible_.size(); }

bool RowsetDataset::Locate(const std::string& field, const Value& value) {
  const std::size_t column = ColumnIndex(field);
  for (std::size_t i = 0; i < visible_.size(); ++i) {
    const Row& row = rows_[visible_[i]];
    if (!row.blob[column] && ValuesMatch(row.cells[column], value)) {
      position_ = i;
      return true;
    }
  }
  return false;
}

const RowsetDataset::Row& RowsetDataset::Current() const {
  if (position_ >= visible_.size())
    throw DbError("Either BOF or EOF is True: there is no current record");
  return rows_[visible_[position_]];
}

Value RowsetDataset::Field(const std::string& name) const {
  const std::size_t column = ColumnIndex(name);
  const Row& row = Current();
  if (row.blob[column])
    throw DbError("Field '" + name + "' is a BLOB: it is read only as a stream");
  return row.cells[column];
}

bool RowsetDataset::BlobIsNull(const std::string& field) {
  const std::size_t column = ColumnIndex(field);
  const Row& row = Current();
  return !row.blob[column] &&
         (IsNull(row.cells[column]) || std::holds_alternative<std::monostate>(row.cells[column]));
}

void RowsetDataset::ReadBlob(const std::string& field, const BlobSink& sink) {
  const std::size_t column = ColumnIndex(field);
  const Row& row = Current();
  if (row.blob[column]) {
    StreamBlob(row, column, sink);
    return;
  }
  // A short value that the engine kept as text or number: its bytes are already here.
  const auto text = ValueText(row.cells[column]);
  if (!text) throw DbError("Field '" + field + "' is NULL: there is no BLOB to read");
  sink(reinterpret_cast<const std::uint8_t*>(text->data()), text->size());
}

// ---- writing ----

std::string InsertStatement(const std::string& table,
                            const std::vector<std::pair<std::string, InsertValue>>& columns) {
  std::string names, markers;
  for (const auto& [name, value] : columns) {
    if (!names.empty()) {
      names += ", ";
      markers += ", ";
    }
    names += name;
    markers += "?";
  }
  return "INSERT INTO " + table + " (" + names + ") VALUES (" + markers + ")";
}

std::uint64_t BlobFileSize(const BlobFile& blob) {
  std::error_code error;
  const auto size = std::filesystem::file_size(PathFromUtf8(blob.path), error);
  if (error) throw DbError("Cannot read the file " + Quoted(blob.path) + ": " + error.message());
  return size;
}

struct BlobFileReader::Impl {
  std::string path;
  std::ifstream in;
};

BlobFileReader::BlobFileReader(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->in.open(PathFromUtf8(path), std::ios::binary);
  if (!impl_->in) throw DbError("Cannot open the file " + Quoted(path));
}

BlobFileReader::~BlobFileReader() = default;

std::size_t BlobFileReader::Read(void* data, std::size_t size) {
  impl_->in.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
  if (impl_->in.bad()) throw DbError("Cannot read the file " + Quoted(impl_->path));
  return static_cast<std::size_t>(impl_->in.gcount());
}

// ---- Connection ----

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::SetParams(const ConnectParams& params) {
  if (!(params == params_)) Close();
  params_ = params;
}

void Connection::Open() {
  if (backend_) return;
  if (params_.server.empty()) throw DbError("No server is given");
  if (params_.timeout_seconds < 0 || params_.statement_timeout_seconds < 0)
    throw DbError("The connection time-out is negative");
  const std::string_view server = params_.server;
  constexpr std::string_view kSqlite = "sqlite:";
  const bool sqlite = server.size() >= kSqlite.size() &&
                      EqualsIgnoringAsciiCase(server.substr(0, kSqlite.size()), kSqlite);
  backend_ = sqlite ? OpenSqliteBackend(params_) : OpenOdbcBackend(params_);
}

void Connection::Close() { backend_.reset(); }

bool Connection::IsOpen() const { return backend_ != nullptr; }

// As with keep-connection off, a query on a closed connection opens it again.
Value Connection::ExecuteScalar(const std::string& sql) {
  Open();
  return backend_->ExecuteScalar(sql);
}

std::unique_ptr<Dataset> Connection::OpenDataset(const std::string& sql) {
  Open();
  return backend_->OpenDataset(sql);
}

std::unique_ptr<Dataset> Connection::OpenDatasetWithBlobs(const std::string& sql) {
  Open();
  return backend_->OpenDatasetWithBlobs(sql);
}

// SQLite's length() counts a BLOB's bytes (its octet_length is younger than the SQLite some
// systems carry).
std::string Connection::BlobLengthSql(std::string_view column) {
  switch (engine()) {
    case Engine::Sqlite:
      return "length(" + QuoteSqlName(SqlDialect::Standard, column) + ")";
    case Engine::SqlServer:
      return BlobLengthOf(SqlDialect::SqlServer, column);
    default:
      return BlobLengthOf(SqlDialect::Standard, column);
  }
}

Engine Connection::engine() {
  Open();
  return backend_->engine();
}

std::int64_t Connection::Execute(const std::string& sql, const std::vector<Value>& parameters) {
  Open();
  return backend_->Execute(sql, parameters);
}

void Connection::Insert(const std::string& table,
                        const std::vector<std::pair<std::string, InsertValue>>& columns) {
  Open();
  backend_->Insert(table, columns);
}

void Connection::BeginTransaction() {
  Open();
  backend_->Transact(Backend::TransactionStep::Begin);
}

void Connection::CommitTransaction() {
  if (!backend_) throw DbError("No transaction is open: the connection is closed");
  backend_->Transact(Backend::TransactionStep::Commit);
}

void Connection::RollbackTransaction() {
  if (backend_) backend_->Transact(Backend::TransactionStep::Rollback);
}

// ---- Transaction ----

Transaction::Transaction(Connection& connection) : connection_(connection) {
  connection_.BeginTransaction();
}

Transaction::~Transaction() {
  if (!open_) return;
  // An error is already on its way out; a failed rollback ends the transaction all the same,
  // since the server drops what was not committed.
  try {
    connection_.RollbackTransaction();
  } catch (const DbError&) {
  }
}

void Transaction::Commit() {
  connection_.CommitTransaction();
  open_ = false;
}

}  // namespace nurv::db
