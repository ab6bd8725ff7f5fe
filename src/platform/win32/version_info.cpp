#include "platform/version_info.h"

#include <windows.h>

#include <vector>

#include "platform/system_info.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

namespace {

// The fixed part of a version block, or nullptr when the block does not hold a sound one. The API
// hands out a block for some damaged files too (a file cut inside its resource section reads as
// whatever lies past its end), so the block's own length and the fixed part's signature are checked
// before anything in it is believed.
const VS_FIXEDFILEINFO* FixedFileInfo(std::vector<std::uint8_t>& block) {
  constexpr DWORD kSignature = 0xFEEF04BD;
  if (block.size() < sizeof(WORD)) return nullptr;
  const WORD declared = *reinterpret_cast<const WORD*>(block.data());
  if (declared > block.size()) return nullptr;
  void* root = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &root, &length) || !root ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return nullptr;
  }
  const auto* begin = static_cast<const std::uint8_t*>(root);
  if (begin < block.data() || begin + sizeof(VS_FIXEDFILEINFO) > block.data() + declared) {
    return nullptr;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
  return fixed->dwSignature == kSignature ? fixed : nullptr;
}

}  // namespace

bool QueryFileProductVersion(const std::string& path, FourPartVersion& version) {
  const std::wstring wide = win32::Widen(path);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &handle);
  if (size == 0) return false;
  std::vector<std::uint8_t> block(size);
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return false;
  const VS_FIXEDFILEINFO* fixed = FixedFileInfo(block);
  if (!fixed) return false;
  version.major = HIWORD(fixed->dwProductVersionMS);
  version.minor = LOWORD(fixed->dwProductVersionMS);
  version.release = HIWORD(fixed->dwProductVersionLS);
  version.build = LOWORD(fixed->dwProductVersionLS);
  return true;
}

bool QueryOwnProductVersion(FourPartVersion& version) {
  return QueryFileProductVersion(OwnExecutablePath(), version);
}

}  // namespace nurv::platform
