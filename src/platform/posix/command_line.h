#pragma once
#include <string>
#include <vector>

namespace nurv::platform {

// Splits one command line as CommandLineToArgvW does: the program name runs to the first blank or
// tab, or from an opening quote to the next quote with no escapes; in the arguments that follow,
// 2n backslashes before a quote give n backslashes and toggle quoting, 2n+1 give n backslashes
// and a literal quote, other backslashes stay, and "" inside quotes is a literal quote that ends
// the quoted part. An unterminated quote runs to the end of the line.
std::vector<std::string> SplitWindowsCommandLine(const std::string& command_line);

}  // namespace nurv::platform
