#pragma once
// Inline, as the test kit is linked into tools without the database layer.
#include <string>
#include <vector>

#include "common/update_db.h"
#include "db/database.h"

namespace nurv::testing {

// The field `fblob` of every row of `sql` ("NULL" for a NULL BLOB), the bytes fetched with the rows
// (OpenDatasetWithBlobs) or read one BLOB at a time (OpenDataset).
inline std::vector<std::string> EveryBlob(db::Connection& connection, const std::string& sql,
                                          bool with_rows) {
  auto rows = with_rows ? connection.OpenDatasetWithBlobs(sql) : connection.OpenDataset(sql);
  std::vector<std::string> blobs;
  for (rows->First(); !rows->Eof(); rows->Next())
    blobs.push_back(rows->BlobIsNull("fblob") ? "NULL" : BlobBytes(*rows));
  return blobs;
}

}  // namespace nurv::testing
