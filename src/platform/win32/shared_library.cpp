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

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& name_or_path) {
  // A broken or missing library must fail the call, never stop the loader with a system dialog.
  DWORD old_mode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_mode);
  HMODULE module = LoadLibraryW(win32::Widen(name_or_path).c_str());
  const DWORD error = GetLastError();
  SetThreadErrorMode(old_mode, nullptr);
  if (!module) {
    SetLastError(error);
    return nullptr;
  }
  return std::make_unique<WinLibrary>(module);
}

}  // namespace nurv::platform
