#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "db/database.h"

namespace nurv::testing {

// One row of the update table as the loader reads it.
struct UpdateRow {
  std::int64_t vcode = 0;
  std::string tdoc;
  std::optional<std::string> version;
  std::string name;
  // NULL, an integer or a text: the column has no declared type, as on the real servers.
  std::variant<std::monostate, std::int64_t, std::string> caption;
  // "YYYY-MM-DD HH:MM:SS", local time.
  std::optional<std::string> updatedate;
  std::optional<std::string> fblob;
  // Streams this file's bytes into the BLOB instead of `fblob` (large BLOBs).
  std::optional<std::string> fblob_file;
};

// Creates (or replaces) a SQLite database with the table UpdatesBLOB holding `rows`.
void CreateUpdateDatabase(const std::string& path, const std::vector<UpdateRow>& rows);
// Appends `rows` to the table of an existing update database.
void AddUpdateRows(const std::string& path, const std::vector<UpdateRow>& rows);
// CRC-32 (zlib) of `bytes`.
std::uint32_t Crc32Of(const std::string& bytes);
// The current record's BLOB `field`, gathered whole (test data is small).
std::string BlobBytes(db::Dataset& row, const std::string& field = "fblob");
// `size` bytes that do not compress, the same for the same `seed`.
std::string IncompressibleBytes(std::size_t size, std::uint32_t seed);
// The server name under which the loader opens the SQLite file at `db_path`.
std::string SqliteServerName(const std::string& db_path);

}  // namespace nurv::testing
