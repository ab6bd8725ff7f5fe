// Drives the .reg parser with arbitrary bytes and checks that whatever it understood survives a
// write and a second parse unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/posix/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace regfile = nurv::platform::regfile;
  const regfile::ParseResult first =
      regfile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (first.status == regfile::ParseStatus::Unreadable) {
    if (!first.document.keys.empty()) std::abort();
    return 0;
  }
  const std::string written = regfile::Write(first.document);
  const regfile::ParseResult second = regfile::Parse(written);
  if (second.status != regfile::ParseStatus::Ok) std::abort();
  if (!(second.document == first.document)) std::abort();
  if (regfile::Write(second.document) != written) std::abort();
  return 0;
}
