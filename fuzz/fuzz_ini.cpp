// Drives the initialisation-file parser with arbitrary file contents and names.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/posix/ini_parser.h"
#include "base/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // The first line, when there is one, names "section/key"; the rest is the file.
  std::string_view section = "ConfigUser51";
  std::string_view key = "Server";
  std::string_view file = input;
  if (const std::size_t eol = input.find('\n'); eol != std::string_view::npos && eol < 64) {
    const std::string_view names = input.substr(0, eol);
    const std::size_t slash = names.find('/');
    section = names.substr(0, slash);
    key = slash == std::string_view::npos ? std::string_view() : names.substr(slash + 1);
    file = input.substr(eol + 1);
  }
  const auto value = nurv::platform::FindProfileValue(file, section, key);
  if (value) {
    if (!nurv::IsValidUtf8(*value)) std::abort();
    std::size_t chars = 0;
    for (char c : *value) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (chars > nurv::platform::kMaxProfileValueChars) std::abort();
  }
  return 0;
}
