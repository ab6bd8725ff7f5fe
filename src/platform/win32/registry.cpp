#include "platform/registry.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

using win32::Narrow;
using win32::Widen;

namespace {

// The loader's key paths are absolute ("\SOFTWARE\NURVSQL"); the API wants them relative to the
// root.
std::wstring SubKey(std::string_view key_path) {
  while (!key_path.empty() && key_path.front() == '\\') key_path.remove_prefix(1);
  while (!key_path.empty() && key_path.back() == '\\') key_path.remove_suffix(1);
  return Widen(key_path);
}

[[noreturn]] void Fail(const char* what, std::string_view name, LSTATUS status) {
  throw RegistryError(std::string(what) + " \"" + std::string(name) +
                      "\": " + win32::ErrorText(static_cast<unsigned long>(status)));
}

class WinRegistryKey : public RegistryKey {
 public:
  explicit WinRegistryKey(HKEY key) : key_(key) {}

  std::optional<RegValue> Query(std::string_view name) override {
    const std::wstring wide_name = Widen(name);
    std::vector<std::uint8_t> data(256);
    DWORD type = 0;
    LSTATUS status;
    while (true) {
      DWORD size = static_cast<DWORD>(data.size());
      status = RegQueryValueExW(key_.Get(), wide_name.c_str(), nullptr, &type, data.data(), &size);
      if (status == ERROR_MORE_DATA) {
        data.resize(static_cast<std::size_t>(size) + 2);
        continue;
      }
      if (status == ERROR_SUCCESS) data.resize(size);
      break;
    }
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status != ERROR_SUCCESS) Fail("Cannot read the registry value", name, status);

    RegValue value;
    value.type = static_cast<RegType>(type);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::wstring text(data.size() / sizeof(wchar_t), L'\0');
      std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
      // Stored with or without the terminating zero; the text ends at the first one.
      const std::size_t end = text.find(L'\0');
      if (end != std::wstring::npos) text.resize(end);
      value.text = Narrow(text);
    } else if (type == REG_DWORD) {
      std::uint8_t bytes[4] = {};
      std::memcpy(bytes, data.data(), std::min<std::size_t>(data.size(), 4));
      value.number =
          static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
          static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    } else {
      value.raw = std::move(data);
    }
    return value;
  }

  void SetString(std::string_view name, std::string_view text) override {
    const std::wstring wide = Widen(text);
    const DWORD size = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key_.Get(), Widen(name).c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(wide.c_str()), size);
    if (status != ERROR_SUCCESS) Fail("Cannot write the registry value", name, status);
  }

  void SetDword(std::string_view name, std::uint32_t number) override {
    const DWORD data = number;
    const LSTATUS status = RegSetValueExW(key_.Get(), Widen(name).c_str(), 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&data), sizeof(data));
    if (status != ERROR_SUCCESS) Fail("Cannot write the registry value", name, status);
  }

  void DeleteValue(std::string_view name) override {
    const LSTATUS status = RegDeleteValueW(key_.Get(), Widen(name).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
      Fail("Cannot delete the registry value", name, status);
    }
  }

 private:
  win32::UniqueRegistryKey key_;
};

class WinRegistry : public Registry {
 public:
  std::unique_ptr<RegistryKey> Open(std::string_view key_path) override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SubKey(key_path).c_str(), 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS) {
      return nullptr;
    }
    return std::make_unique<WinRegistryKey>(key);
  }

  std::unique_ptr<RegistryKey> Create(std::string_view key_path) override {
    HKEY key = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, SubKey(key_path).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) Fail("Cannot create the registry key", key_path, status);
    return std::make_unique<WinRegistryKey>(key);
  }
};

}  // namespace

std::unique_ptr<Registry> OpenCurrentUserRegistry() { return std::make_unique<WinRegistry>(); }

}  // namespace nurv::platform
