#include "platform/version_info.h"

#include <windows.h>

#include <vector>

#include "platform/system_info.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

bool QueryFileProductVersion(const std::string& path, FourPartVersion& version) {
  const std::wstring wide = win32::Widen(path);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &handle);
  if (size == 0) return false;
  std::vector<std::uint8_t> buffer(size);
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, buffer.data())) return false;
  void* root = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(buffer.data(), L"\\", &root, &length) || !root ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
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
