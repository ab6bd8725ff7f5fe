#include "platform/recycle_bin.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/win32/wide_text.h"

namespace nurv::platform {

bool MoveToRecycleBin(const std::string& path) {
  // The shell needs a full path to keep the item restorable, and a list ending in two zeros.
  const std::wstring wide = win32::Widen(path);
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return false;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return false;
  full.resize(length);
  if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  full.append(2, L'\0');

  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = full.c_str();
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}

}  // namespace nurv::platform
