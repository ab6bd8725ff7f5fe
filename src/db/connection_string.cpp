#include <array>
#include <charconv>
#include <string>
#include <string_view>

#include "base/text_utils.h"
#include "db/db_internal.h"

namespace nurv::db {

namespace {

// OLE DB keywords of the SQL Server provider. The loader writes its values unquoted, so a
// value (a server name such as "odbc:Driver={...};Port=5432") may contain ';' and '=': a
// segment that does not begin with one of these keywords continues the previous value.
// ODBC's own keywords (UID, Server, Database...) are left out on purpose: they belong inside an
// "odbc:" server name.
constexpr std::array<std::string_view, 18> kKeywords = {
    "Provider",
    "Password",
    "Persist Security Info",
    "User ID",
    "Initial Catalog",
    "Data Source",
    "use procedure for prepare",
    "Auto Translate",
    "Packet Size",
    "Workstation ID",
    "Use Encryption for Data",
    "Tag with column collation when possible",
    "Integrated Security",
    "Connect Timeout",
    "Application Name",
    "Current Language",
    "Network Address",
    "Network Library",
};

bool IsKeyword(std::string_view key) {
  for (const auto keyword : kKeywords)
    if (EqualsIgnoringAsciiCase(key, keyword)) return true;
  return false;
}

[[noreturn]] void Malformed(std::string_view why) {
  throw DbError("The connection string is malformed: " + std::string(why));
}

struct Pair {
  std::string key;
  std::string value;
  bool quoted = false;
};

// Splits into key=value pairs; a value in '"' or '\'' quotes (the quote doubled inside) may
// hold anything.
std::vector<Pair> SplitPairs(std::string_view text) {
  std::vector<Pair> pairs;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t end = text.find(';', i);
    std::string_view segment = text.substr(i, end == std::string_view::npos ? text.npos : end - i);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (TrimBlanks(segment).empty()) {
      i = next;
      continue;
    }
    const std::size_t equals = segment.find('=');
    const std::string_view key =
        equals == segment.npos ? segment : TrimBlanks(segment.substr(0, equals));
    if (equals == segment.npos || key.empty() || !IsKeyword(key)) {
      // Part of the previous unquoted value (see kKeywords), or an unknown keyword that we keep
      // so that it is ignored like any other.
      if (!pairs.empty() && !pairs.back().quoted) {
        pairs.back().value += ';';
        pairs.back().value += segment;
        i = next;
        continue;
      }
      if (equals == segment.npos)
        Malformed("\"" + std::string(TrimBlanks(segment)) + "\" is not of the form keyword=value");
      if (key.empty()) Malformed("a value without a keyword");
    }
    Pair pair;
    pair.key = std::string(key);
    std::size_t v = i + equals + 1;
    while (v < text.size() && IsBlank(text[v]) && text[v] != ';') ++v;
    if (v < text.size() && (text[v] == '"' || text[v] == '\'')) {
      const char quote = text[v];
      std::size_t j = v + 1;
      for (;; ++j) {
        if (j >= text.size()) Malformed("the quoted value of \"" + pair.key + "\" is not closed");
        if (text[j] == quote) {
          if (j + 1 < text.size() && text[j + 1] == quote) {
            pair.value += quote;
            ++j;
            continue;
          }
          break;
        }
        pair.value += text[j];
      }
      ++j;
      while (j < text.size() && IsBlank(text[j])) ++j;
      if (j < text.size() && text[j] != ';')
        Malformed("unexpected text after the quoted value of \"" + pair.key + "\"");
      pair.quoted = true;
      pairs.push_back(std::move(pair));
      i = j + 1;
      continue;
    }
    pair.value = std::string(segment.substr(equals + 1));
    pairs.push_back(std::move(pair));
    i = next;
  }
  return pairs;
}

// Whole seconds, as ADO takes them.
int TimeoutSeconds(const std::string& text) {
  int seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || seconds < 0)
    Malformed("Connect Timeout \"" + text + "\" is not a number of seconds");
  return seconds;
}

}  // namespace

ConnectParams ParseConnectionString(std::string_view text) {
  if (text.find('\0') != text.npos) Malformed("it contains a NUL character");
  ConnectParams params;
  bool has_server = false;
  for (Pair& pair : SplitPairs(text)) {
    const std::string value = pair.quoted ? pair.value : std::string(TrimBlanks(pair.value));
    if (EqualsIgnoringAsciiCase(pair.key, "Provider")) {
      params.provider = value;
    } else if (EqualsIgnoringAsciiCase(pair.key, "Data Source")) {
      params.server = value;
      has_server = true;
    } else if (EqualsIgnoringAsciiCase(pair.key, "Initial Catalog")) {
      params.database = value;
    } else if (EqualsIgnoringAsciiCase(pair.key, "User ID")) {
      params.user = value;
    } else if (EqualsIgnoringAsciiCase(pair.key, "Password")) {
      // Blanks may belong to a password: kept as written.
      params.password = pair.value;
      params.has_password = true;
    } else if (EqualsIgnoringAsciiCase(pair.key, "Connect Timeout")) {
      params.timeout_seconds = TimeoutSeconds(value);
    }
  }
  if (!has_server || params.server.empty()) Malformed("no Data Source is given");
  return params;
}

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
  for (const std::string* part : {&params.server, &params.database, &params.user, &params.password})
    if (part->find('\0') != std::string::npos) Malformed("a value contains a NUL character");
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
  if (params.has_password) result += ";PWD=" + QuoteOdbcValue(params.password);
  return result;
}

std::string StripNolockHint(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  std::size_t i = 0;
  const auto copy_until = [&](std::size_t from, char close, bool doubled) {
    std::size_t j = from + 1;
    while (j < sql.size()) {
      if (sql[j] == close) {
        if (doubled && j + 1 < sql.size() && sql[j + 1] == close) {
          j += 2;
          continue;
        }
        ++j;
        break;
      }
      ++j;
    }
    out.append(sql.substr(from, j - from));
    return j;
  };
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      i = copy_until(i, c, true);
    } else if (c == '[') {
      i = copy_until(i, ']', true);
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = sql.find('\n', i);
      const std::size_t stop = end == sql.npos ? sql.size() : end;
      out.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const std::size_t end = sql.find("*/", i + 2);
      const std::size_t stop = end == sql.npos ? sql.size() : end + 2;
      out.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '(') {
      std::size_t j = i + 1;
      while (j < sql.size() && IsBlank(sql[j])) ++j;
      constexpr std::string_view kHint = "nolock";
      bool hint = j + kHint.size() <= sql.size();
      for (std::size_t k = 0; hint && k < kHint.size(); ++k)
        hint = AsciiLower(sql[j + k]) == kHint[k];
      if (hint) {
        j += kHint.size();
        while (j < sql.size() && IsBlank(sql[j])) ++j;
        hint = j < sql.size() && sql[j] == ')';
      }
      if (hint) {
        i = j + 1;
      } else {
        out += c;
        ++i;
      }
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace nurv::db
