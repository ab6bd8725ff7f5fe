#pragma once
#include <string>
#include <string_view>

// The platform's API takes UTF-16; the core speaks UTF-8. Every crossing goes through here.
namespace nurv::platform::win32 {

// Invalid UTF-8 becomes U+FFFD rather than failing: a path is then simply not found.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The system's message for an error code, without the trailing line break.
std::string ErrorText(unsigned long code);

}  // namespace nurv::platform::win32
