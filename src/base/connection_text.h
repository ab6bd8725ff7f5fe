#pragma once
#include <string>
#include <string_view>

namespace nurv {

// A connection text (a server name such as "odbc:DSN=x;PWD=secret", or a provider string
// "Password=...;User ID=...") as it may be shown or logged: the value of every PWD or Password
// attribute, whatever its case and however it is quoted ({...} with "}}" inside, "..." or '...'),
// becomes "***". Everything else stays as it is.
std::string HidePasswords(std::string_view connection_text);

// The connection text as the log and the console show it: passwords hidden, control bytes escaped.
std::string ShownConnectionText(std::string_view connection_text);

}  // namespace nurv
