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

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& full_path) {
  // dlopen of an empty name would hand back the program itself, of a name without a slash
  // whatever the search path finds first.
  if (full_path.empty() || full_path.front() != '/') return nullptr;
  // RTLD_LOCAL: a library's generic exports (GetLastError, SysFreeString, …) must not resolve
  // anyone else's calls.
  void* handle = dlopen(full_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  return std::make_unique<PosixSharedLibrary>(handle);
}

}  // namespace nurv::platform
