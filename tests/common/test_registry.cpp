#include "common/test_registry.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#else
#include <filesystem>

#include "common/temp_dir.h"
#endif

namespace nurv::testing {

#ifdef _WIN32

namespace {

constexpr wchar_t kTestsKey[] = L"Software\\NurvLoaderTests";
// The loader's key below HKEY_CURRENT_USER.
constexpr wchar_t kLoaderKey[] = L"Software\\NURVSQL";

HKEY Handle(void* key) { return static_cast<HKEY>(key); }

}  // namespace

ScopedTestRegistry::ScopedTestRegistry(const std::string& /*config_folder*/, Reach reach)
    : reach_(reach) {
  static std::atomic<int> serial{0};
  key_path_ = std::wstring(kTestsKey) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++serial);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key_path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create the test's registry key");
  }
  key_ = key;
  if (reach_ == Reach::kThisProcess) {
    Redirect(key_);
    return;
  }
  HKEY real = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kLoaderKey, 0, KEY_READ, &real) == ERROR_SUCCESS) {
    const LSTATUS copied = RegCopyTreeW(real, nullptr, Handle(key_));
    RegCloseKey(real);
    if (copied != ERROR_SUCCESS) throw std::runtime_error("cannot copy the loader's key aside");
    real_key_saved_ = true;
  }
  Clear();
}

ScopedTestRegistry::~ScopedTestRegistry() {
  if (reach_ == Reach::kThisProcess) {
    Redirect(nullptr);
  } else {
    Clear();
    HKEY real = nullptr;
    if (real_key_saved_ &&
        RegCreateKeyExW(HKEY_CURRENT_USER, kLoaderKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &real, nullptr) == ERROR_SUCCESS) {
      RegCopyTreeW(Handle(key_), nullptr, real);
      RegCloseKey(real);
    }
  }
  if (deleted_key_) RegCloseKey(Handle(deleted_key_));
  RegCloseKey(Handle(key_));
  RegDeleteTreeW(HKEY_CURRENT_USER, key_path_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, kTestsKey);  // fails while another test process has its key
}

void ScopedTestRegistry::Redirect(void* key) {
  if (RegOverridePredefKey(HKEY_CURRENT_USER, Handle(key)) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot redirect HKEY_CURRENT_USER");
  }
}

void ScopedTestRegistry::Clear() {
  if (reach_ == Reach::kThisProcess) {
    RegDeleteTreeW(Handle(key_), nullptr);
  } else {
    RegDeleteTreeW(HKEY_CURRENT_USER, kLoaderKey);
  }
}

void ScopedTestRegistry::MakeUnwritable() {
  if (reach_ != Reach::kThisProcess) {
    throw std::logic_error("the user's real key cannot be made unwritable");
  }
  // A key deleted while a handle to it stays open: every key opened or created below it fails.
  HKEY gone = nullptr;
  if (RegCreateKeyExW(Handle(key_), L"gone", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &gone, nullptr) != ERROR_SUCCESS ||
      RegDeleteKeyW(Handle(key_), L"gone") != ERROR_SUCCESS) {
    throw std::runtime_error("cannot make a deleted registry key");
  }
  deleted_key_ = gone;
  Redirect(deleted_key_);
}

#else

namespace fs = std::filesystem;

ScopedTestRegistry::ScopedTestRegistry(const std::string& config_folder, Reach /*reach*/)
    : config_folder_(config_folder) {
  fs::create_directories(config_folder_);
  env_.Set("XDG_CONFIG_HOME", config_folder_);
}

ScopedTestRegistry::~ScopedTestRegistry() = default;

void ScopedTestRegistry::Clear() {
  fs::remove_all(config_folder_);
  fs::create_directories(config_folder_);
}

void ScopedTestRegistry::MakeUnwritable() {
  // A file where the store's folder belongs: nothing can be created below it.
  fs::remove_all(config_folder_);
  WriteFile(config_folder_, "");
}

#endif

}  // namespace nurv::testing
