// The database layer's text parsers: the ODBC string built from a server name, the hint removal,
// the date-time text and the dataset filter. Any input may be refused, none may crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/date_utils.h"
#include "db/db_internal.h"

namespace {

class EmptyDataset : public nurv::db::RowsetDataset {
 public:
  EmptyDataset() : RowsetDataset({"vcode", "tdoc"}, {}) {}

 protected:
  void StreamBlob(const Row&, std::size_t, const nurv::db::BlobSink&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    nurv::db::ConnectParams params;
    params.server = text;
    params.database = "nurv";
    params.user = "NurvLoader";
    nurv::db::BuildOdbcConnectionString(params);
  } catch (const nurv::db::DbError&) {
  }
  nurv::db::StripNolockHint(text);
  nurv::ParseDateTimeText(text);
  EmptyDataset dataset;
  try {
    dataset.SetFilter(text);
  } catch (const nurv::db::DbError&) {
  }
  return 0;
}
