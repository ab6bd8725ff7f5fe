#include "platform/system_info.h"

#include <windows.h>

#include <cstring>

#include "platform/process.h"
#include "platform/win32/system_time.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

using win32::Narrow;

std::string OwnExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return Narrow(path);
    }
    path.resize(path.size() * 2);
  }
}

std::string OsProductName() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
    return {};
  }
  const win32::UniqueRegistryKey key(opened);
  wchar_t name[256] = {};
  DWORD size = sizeof(name) - sizeof(wchar_t);  // room kept for a terminating zero
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExW(key.Get(), L"ProductName", nullptr, &type,
                                          reinterpret_cast<BYTE*>(name), &size);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  return Narrow(std::wstring_view(name, wcsnlen(name, size / sizeof(wchar_t))));
}

std::string SystemFolder() {
  wchar_t folder[MAX_PATH + 1];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return {};
  return Narrow(std::wstring_view(folder, length));
}

std::string UserTempFolder() {
  wchar_t folder[MAX_PATH + 2];
  DWORD length = GetTempPathW(MAX_PATH + 2, folder);
  if (length == 0 || length > MAX_PATH + 1) return {};
  if (length > 0 && folder[length - 1] == L'\\') --length;
  return Narrow(std::wstring_view(folder, length));
}

std::string UserName() {
  wchar_t name[256 + 1];
  DWORD length = 256 + 1;
  if (!GetUserNameW(name, &length) || length == 0) return {};
  return Narrow(std::wstring_view(name, length - 1));  // the length counted the final zero
}

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (GetComputerNameW(name, &length)) return Narrow(std::wstring_view(name, length));
  // Wine's 32-bit call has been seen to fail in a process that started host programs; the
  // system's variable names the computer the same way.
  return EnvironmentVariable("COMPUTERNAME").value_or(std::string());
}

DateTime LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return win32::FromSystemTime(st);
}

std::vector<std::uint8_t> ReadOwnVersionResource() {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  if (!resource) return {};
  const DWORD size = SizeofResource(nullptr, resource);
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  std::vector<std::uint8_t> bytes(size);
  std::memcpy(bytes.data(), data, size);
  return bytes;
}

}  // namespace nurv::platform
