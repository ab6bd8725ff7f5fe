#include "db/odbc_diagnostics.h"

#include <sqlext.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/text_utils.h"
#include "base/utf8.h"
#include "db/db_internal.h"

namespace nurv::db {

namespace {

struct Diagnostic {
  std::string state;
  SQLINTEGER native = 0;
  std::string text;
};

std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> records;
  for (SQLSMALLINT i = 1; handle && i <= 20; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> text(1024);
    SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(),
                          static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    Diagnostic record;
    record.state = Utf16ToUtf8(state, 5);
    record.native = native;
    record.text = Utf16ToUtf8(
        text.data(),
        std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                              text.size() - 1));
    while (!record.text.empty() && (record.text.back() == '\n' || record.text.back() == '\r'))
      record.text.pop_back();
    // The driver's words may quote what the server holds; only the join below breaks lines.
    record.text = EscapeControlBytes(record.text);
    records.push_back(std::move(record));
  }
  return records;
}

std::string JoinDiagnostics(const std::vector<Diagnostic>& records, const std::string& fallback) {
  std::string message;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Diagnostic& record = records[i];
    // Some drivers repeat a record word for word.
    if (i > 0 && record.state == records[i - 1].state && record.text == records[i - 1].text)
      continue;
    if (!message.empty()) message += "\r\n";
    message += record.text + " (SQLSTATE " + record.state + ")";
  }
  return message.empty() ? fallback : message;
}

bool AnyText(const std::vector<Diagnostic>& records, std::initializer_list<const char*> needles) {
  for (const Diagnostic& record : records) {
    const std::string text = AsciiLowerText(record.text);
    for (const char* needle : needles)
      if (text.find(needle) != std::string::npos) return true;
  }
  return false;
}

bool AnyState(const std::vector<Diagnostic>& records, std::initializer_list<const char*> prefixes) {
  for (const Diagnostic& record : records)
    for (const char* prefix : prefixes)
      if (record.state.rfind(prefix, 0) == 0) return true;
  return false;
}

// A failed connect: a rejected login (a missing database counts as one, as on SQL Server)
// before an unreachable server, unless SQL Server says in its own words that it cannot be
// reached.
ErrorKind ConnectFailureKind(const std::vector<Diagnostic>& records) {
  // SQL Server's classic text for an unknown server says "does not exist" too.
  const bool said_unreachable =
      AnyText(records, {"does not exist or access denied", "connectionopen (connect())"});
  const bool missing_name =
      AnyText(records, {"does not exist"}) && AnyText(records, {"database \"", "role \""});
  const bool login =
      !said_unreachable && (AnyState(records, {"28"}) || missing_name ||
                            AnyText(records, {"login failed", "authentication failed",
                                              "no password supplied", "cannot open database"}));
  if (login) return ErrorKind::LoginRejected;
  const bool unreachable =
      said_unreachable || AnyState(records, {"08001", "08S01", "HYT00", "HYT01"}) ||
      AnyText(records, {"could not connect", "connection refused", "no such file or directory",
                        "could not translate host name", "unable to connect", "timeout expired",
                        "server is not found"});
  return unreachable ? ErrorKind::Unreachable : ErrorKind::Other;
}

}  // namespace

[[noreturn]] void FailConnect(SQLSMALLINT type, SQLHANDLE handle, const ConnectParams& params) {
  const auto records = Diagnostics(type, handle);
  throw ClassifiedError(ConnectFailureKind(records), "",
                        JoinDiagnostics(records, "The connection could not be opened"),
                        params.user);
}

// A failed statement: a refused read by its SQLSTATE, or by the word every engine's text for it
// holds (SQL Server reports it under 42000).
[[noreturn]] void FailStatement(SQLHANDLE stmt, SQLHANDLE dbc) {
  auto records = Diagnostics(SQL_HANDLE_STMT, stmt);
  if (records.empty()) records = Diagnostics(SQL_HANDLE_DBC, dbc);
  const std::string message = JoinDiagnostics(records, "The statement failed");
  const bool refused =
      AnyState(records, {"42501"}) || message.find("permission") != std::string::npos;
  throw ClassifiedError(refused ? ErrorKind::NoPermission : ErrorKind::Other, "", message);
}

}  // namespace nurv::db
