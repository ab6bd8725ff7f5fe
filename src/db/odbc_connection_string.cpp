// The ODBC connection string the loader's connection parameters make.
#include <string>
#include <string_view>

#include "base/text_utils.h"
#include "db/db_internal.h"

namespace nurv::db {

namespace {

[[noreturn]] void Malformed(std::string_view why) {
  throw DbError("The connection string is malformed: " + std::string(why));
}

}  // namespace

std::string QuoteOdbcValue(std::string_view value) {
  // Braces only where needed: psqlODBC honours them when splitting but keeps them as part of
  // UID and DATABASE, so plain names must go bare to stay usable there.
  const bool plain = value.find_first_of(";{}=") == value.npos &&
                     (value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back())));
  if (plain) return std::string(value);
  std::string quoted = "{";
  for (const char c : value) {
    quoted += c;
    if (c == '}') quoted += '}';
  }
  quoted += '}';
  return quoted;
}

const char* DefaultSqlServerDriver() {
#ifdef _WIN32
  // Present on every Windows; the closest kin of the SQLOLEDB provider.
  return "SQL Server";
#else
  // FreeTDS (Debian's tdsodbc) registers itself under this name.
  return "FreeTDS";
#endif
}

std::string BuildOdbcConnectionString(const ConnectParams& params) {
  const auto has_nul = [](std::string_view part) { return part.find('\0') != part.npos; };
  if (has_nul(params.server) || has_nul(params.database) || has_nul(params.user) ||
      (params.password && has_nul(*params.password)))
    Malformed("a value contains a NUL character");
  std::string result;
  std::string_view server = params.server;
  if (server.size() >= 5 && EqualsIgnoringAsciiCase(server.substr(0, 5), "odbc:")) {
    std::string_view base = TrimBlanks(server.substr(5));
    while (!base.empty() && base.back() == ';') base.remove_suffix(1);
    if (base.empty()) Malformed("the ODBC data source after \"odbc:\" is empty");
    result = base.find('=') == base.npos ? "DSN=" + QuoteOdbcValue(base) : std::string(base);
    result += ";DATABASE=" + QuoteOdbcValue(params.database);
  } else {
    result = std::string("DRIVER={") + DefaultSqlServerDriver() +
             "};SERVER=" + QuoteOdbcValue(params.server) +
             ";DATABASE=" + QuoteOdbcValue(params.database);
  }
  result += ";UID=" + QuoteOdbcValue(params.user);
  if (params.password) result += ";PWD=" + QuoteOdbcValue(*params.password);
  return result;
}

}  // namespace nurv::db
