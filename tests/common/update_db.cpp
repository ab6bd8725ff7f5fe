#include "common/update_db.h"

#include <sqlite3.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace nurv::testing {

namespace {

class Db {
 public:
  Db(const std::string& path, int flags) {
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw std::runtime_error("cannot open " + path + ": " + message);
    }
  }
  ~Db() { sqlite3_close(db_); }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "unknown error";
      sqlite3_free(error);
      throw std::runtime_error(std::string("sqlite: ") + sql + ": " + message);
    }
  }
  void Check(int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
      throw std::runtime_error(std::string("sqlite: ") + what + ": " + sqlite3_errmsg(db_));
  }
  sqlite3* get() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

std::int64_t FileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) throw std::runtime_error("cannot read " + path + ": " + error.message());
  return static_cast<std::int64_t>(size);
}

// Copies the file into the row's zero-filled BLOB in pieces, so large BLOBs never sit in memory.
void StreamFileIntoBlob(Db& db, sqlite3_int64 rowid, const std::string& path) {
  sqlite3_blob* blob = nullptr;
  db.Check(sqlite3_blob_open(db.get(), "main", "UpdatesBLOB", "fblob", rowid, 1, &blob),
           "blob_open");
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    sqlite3_blob_close(blob);
    throw std::runtime_error("cannot read " + path);
  }
  std::vector<char> buffer(1 << 20);
  int offset = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<int>(in.gcount());
    if (got == 0) break;
    const int rc = sqlite3_blob_write(blob, buffer.data(), got, offset);
    if (rc != SQLITE_OK) {
      sqlite3_blob_close(blob);
      db.Check(rc, "blob_write");
    }
    offset += got;
  }
  db.Check(sqlite3_blob_close(blob), "blob_close");
}

void InsertRows(Db& db, const std::vector<UpdateRow>& rows) {
  db.Exec("BEGIN");
  sqlite3_stmt* stmt = nullptr;
  db.Check(
      sqlite3_prepare_v2(db.get(),
                         "INSERT INTO UpdatesBLOB (vcode, icode, tdoc, version, name, caption, "
                         "result, wdate, updatedate, repl, fblob) "
                         "VALUES (?1, ?1, ?2, ?3, ?4, ?5, NULL, ?6, ?6, 0, ?7)",
                         -1, &stmt, nullptr),
      "prepare");
  try {
    for (const UpdateRow& row : rows) {
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
      sqlite3_bind_int64(stmt, 1, row.vcode);
      sqlite3_bind_text(stmt, 2, row.tdoc.data(), static_cast<int>(row.tdoc.size()),
                        SQLITE_TRANSIENT);
      if (row.version)
        sqlite3_bind_text(stmt, 3, row.version->data(), static_cast<int>(row.version->size()),
                          SQLITE_TRANSIENT);
      sqlite3_bind_text(stmt, 4, row.name.data(), static_cast<int>(row.name.size()),
                        SQLITE_TRANSIENT);
      if (const auto* number = std::get_if<std::int64_t>(&row.caption))
        sqlite3_bind_int64(stmt, 5, *number);
      else if (const auto* text = std::get_if<std::string>(&row.caption))
        sqlite3_bind_text(stmt, 5, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
      if (row.updatedate)
        sqlite3_bind_text(stmt, 6, row.updatedate->data(), static_cast<int>(row.updatedate->size()),
                          SQLITE_TRANSIENT);
      if (row.fblob_file) {
        sqlite3_bind_zeroblob64(stmt, 7, static_cast<sqlite3_uint64>(FileSize(*row.fblob_file)));
      } else if (row.fblob) {
        // An empty, non-NULL BLOB needs a non-null pointer.
        sqlite3_bind_blob64(stmt, 7, row.fblob->empty() ? "" : row.fblob->data(), row.fblob->size(),
                            SQLITE_TRANSIENT);
      }
      db.Check(sqlite3_step(stmt), "insert");
      if (row.fblob_file)
        StreamFileIntoBlob(db, sqlite3_last_insert_rowid(db.get()), *row.fblob_file);
    }
  } catch (...) {
    sqlite3_finalize(stmt);
    db.Exec("ROLLBACK");
    throw;
  }
  sqlite3_finalize(stmt);
  db.Exec("COMMIT");
}

}  // namespace

void CreateUpdateDatabase(const std::string& path, const std::vector<UpdateRow>& rows) {
  std::remove(path.c_str());
  Db db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  db.Exec(
      "CREATE TABLE UpdatesBLOB (vcode INTEGER, icode, tdoc TEXT, version TEXT, name TEXT, "
      "caption, result, wdate, updatedate TEXT, repl, fblob BLOB)");
  InsertRows(db, rows);
}

void AddUpdateRows(const std::string& path, const std::vector<UpdateRow>& rows) {
  Db db(path, SQLITE_OPEN_READWRITE);
  InsertRows(db, rows);
}

std::uint32_t Crc32Of(const std::string& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
  std::size_t left = bytes.size();
  while (left > 0) {
    const auto piece = static_cast<uInt>(left > (1u << 30) ? (1u << 30) : left);
    crc = crc32(crc, data, piece);
    data += piece;
    left -= piece;
  }
  return static_cast<std::uint32_t>(crc);
}

std::string SqliteServerName(const std::string& db_path) { return "sqlite:" + db_path; }

std::string BlobBytes(db::Dataset& row, const std::string& field) {
  std::string bytes;
  row.ReadBlob(field, [&bytes](const std::uint8_t* data, std::size_t size) {
    bytes.append(reinterpret_cast<const char*>(data), size);
  });
  return bytes;
}

std::string IncompressibleBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

}  // namespace nurv::testing
