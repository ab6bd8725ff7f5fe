// Any bytes as an executable image or a bare version block: no crash, no read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)nurv::ReadImageVersions(bytes);
  (void)nurv::ParseVersionInfoBlock(bytes);
  return 0;
}
