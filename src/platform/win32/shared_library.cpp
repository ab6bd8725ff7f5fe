#include "platform/shared_library.h"

#include <windows.h>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

namespace {

class WinLibrary : public SharedLibrary {
 public:
  explicit WinLibrary(HMODULE module) : module_(module) {}

  void* Symbol(const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(module_.Get(), name));
  }

 private:
  win32::UniqueModule module_;
};

}  // namespace

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& full_path) {
  const std::wstring path = win32::Widen(full_path);
  // Only a full path: "C:\..." or a UNC name; anything else would go through the search path.
  const bool full = (path.size() > 2 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
                    path.rfind(L"\\\\", 0) == 0;
  if (!full) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  // A broken or missing library must fail the call, never stop the loader with a system dialog.
  DWORD old_mode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_mode);
  // The library's own dependencies come from its folder and the system folder only; systems
  // without these flags take the altered search path, which starts at the library's folder too.
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module && GetLastError() == ERROR_INVALID_PARAMETER)
    module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD error = GetLastError();
  SetThreadErrorMode(old_mode, nullptr);
  if (!module) {
    SetLastError(error);
    return nullptr;
  }
  return std::make_unique<WinLibrary>(module);
}

}  // namespace nurv::platform
