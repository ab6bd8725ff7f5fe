#pragma once
#include <windows.h>

#include <type_traits>
#include <utility>

namespace nurv::platform::win32 {

// Sole owner of one handle of the system, freed by `Free` when the owner goes; moved, never
// copied. An empty owner holds the kind's null value (for plain HANDLEs INVALID_HANDLE_VALUE, which
// file functions return on failure, counts as empty too).
template <typename Handle, auto Free>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle Get() const { return handle_; }
  explicit operator bool() const { return IsHandle(handle_); }
  // Gives the handle up without freeing it.
  Handle Release() { return std::exchange(handle_, Handle{}); }
  void Reset(Handle handle = Handle{}) {
    if (IsHandle(handle_)) Free(handle_);
    handle_ = handle;
  }

 private:
  static bool IsHandle(Handle handle) {
    if constexpr (std::is_same_v<Handle, HANDLE>) {
      return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    } else {
      return handle != Handle{};
    }
  }

  Handle handle_{};
};

// Files, processes and threads.
using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseHandle>;
using UniqueRegistryKey = UniqueHandle<HKEY, &RegCloseKey>;
using UniqueModule = UniqueHandle<HMODULE, &FreeLibrary>;
// Memory the system allocated for the caller with LocalAlloc (FormatMessage,
// CommandLineToArgvW).
using UniqueLocalMemory = UniqueHandle<HLOCAL, &LocalFree>;
using UniqueGlobalMemory = UniqueHandle<HGLOBAL, &GlobalFree>;

}  // namespace nurv::platform::win32
