#include <optional>
#include <string>
#include <string_view>

#include "base/text_utils.h"
#include "db/db_internal.h"

namespace nurv::db {

namespace {

// The words of each kind, and what they are known by when an engine writes them itself (as SQL
// Server does).
struct KindWords {
  std::string_view known_by;
  std::string_view before;  // put before the engine's text
  bool names_user;          // the words end in " '<user>'.", a line break
};

std::optional<KindWords> WordsOf(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Unreachable:
      return KindWords{"ConnectionOpen (Connect())", "[ConnectionOpen (Connect()).]", false};
    case ErrorKind::LoginRejected:
      return KindWords{"Login failed for user", "Login failed for user", true};
    case ErrorKind::NoPermission:
      return KindWords{"permission", "permission denied: ", false};
    case ErrorKind::Busy:
    case ErrorKind::Other:
      break;
  }
  return std::nullopt;
}

}  // namespace

ErrorKind KindOf(const std::exception& error) {
  const auto* db_error = dynamic_cast<const DbError*>(&error);
  return db_error ? db_error->kind() : ErrorKind::Other;
}

DbError ClassifiedError(ErrorKind kind, std::string_view marker, const std::string& text,
                        std::string_view user) {
  std::string message(marker);
  const auto words = WordsOf(kind);
  if (words && text.find(words->known_by) == std::string::npos) {
    message += words->before;
    if (words->names_user) message += " '" + EscapeControlBytes(user) + "'.\r\n";
  }
  return DbError(message + text, kind);
}

}  // namespace nurv::db
