// The database layer's text parsers: the ODBC string built from a server name, the hint removal
// and the date-time text. Any input may be refused, none may crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/date_utils.h"
#include "db/db_internal.h"

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
  return 0;
}
