#include "platform/shared_library.h"

#include <dlfcn.h>

namespace nurv::platform {

namespace {

class PosixSharedLibrary final : public SharedLibrary {
 public:
  explicit PosixSharedLibrary(void* handle) : handle_(handle) {}
  ~PosixSharedLibrary() override { dlclose(handle_); }
  PosixSharedLibrary(const PosixSharedLibrary&) = delete;
  PosixSharedLibrary& operator=(const PosixSharedLibrary&) = delete;

  void* Symbol(const char* name) const override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& name_or_path) {
  // dlopen of an empty name would hand back the program itself.
  if (name_or_path.empty()) return nullptr;
  // RTLD_LOCAL: a library's generic exports (GetLastError, SysFreeString, …) must not resolve
  // anyone else's calls.
  void* handle = dlopen(name_or_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  return std::make_unique<PosixSharedLibrary>(handle);
}

}  // namespace nurv::platform
