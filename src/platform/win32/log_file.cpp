#include "platform/log_file.h"

#include <shlobj.h>
#include <windows.h>

#include <optional>

#include "platform/files.h"
#include "platform/retry_until.h"
#include "platform/win32/regular_file.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

using win32::Widen;

namespace {

// The lock is one byte far beyond any end the file reaches: it keeps writers apart without
// keeping readers out of the text.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

std::wstring LocalAppData() {
  wchar_t folder[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return std::wstring(folder, length);
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) return {};
  return folder;
}

bool MakeFolders(const std::wstring& folder) {
  const int result = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The exclusive lock of an open log file, waited for until `deadline` at most and given back
// however the append ends.
class HeldLock {
 public:
  HeldLock(HANDLE file, std::chrono::steady_clock::time_point deadline) : file_(file) {
    place_.OffsetHigh = kLockOffsetHigh;
    held_ = RetryUntil(deadline, [this] {
      return LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                        &place_) != 0;
    });
  }
  ~HeldLock() {
    if (held_) UnlockFileEx(file_, 0, 1, 0, &place_);
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  bool Held() const { return held_; }

 private:
  HANDLE file_;
  OVERLAPPED place_{};
  bool held_ = false;
};

bool Rotate(const std::wstring& path, int old_files) {
  for (int n = old_files - 1; n >= 1; --n) {
    const std::wstring from = path + L"." + std::to_wstring(n);
    if (!MoveFileExW(from.c_str(), (path + L"." + std::to_wstring(n + 1)).c_str(),
                     MOVEFILE_REPLACE_EXISTING) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
      return false;
    }
  }
  return MoveFileExW(path.c_str(), (path + L".1").c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

std::string UserLogFilePath() {
  const std::wstring folder = LocalAppData();
  return folder.empty() ? std::string() : win32::Narrow(folder + L"\\NURV\\Logs\\NurvLoader.log");
}

bool AppendToLogFile(const std::string& path, const std::vector<std::string>& lines,
                     LogRotation rotation, std::chrono::milliseconds lock_wait) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  const std::wstring wide = Widen(path);
  const std::size_t separator = wide.rfind(L'\\');
  if (separator != std::wstring::npos && !MakeFolders(wide.substr(0, separator))) return false;
  // Another writer may rename the file aside between its opening here and the lock: then the
  // lock is taken again on the file that now has the name.
  const auto deadline = std::chrono::steady_clock::now() + lock_wait;
  for (int round = 0; round < 8; ++round) {
    // Appending access writes at the end whatever another writer did; sharing the deletion lets
    // another writer rename the file aside while this one holds it open. A reparse point at the
    // name is opened itself, never what it points to, and then refused.
    const win32::UniqueKernelHandle file(
        CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    const std::optional<FileId> opened = win32::RegularDiskFileId(file.Get());
    if (!opened) return false;
    const HeldLock lock(file.Get(), deadline);
    LARGE_INTEGER size{};
    if (!lock.Held() || !GetFileSizeEx(file.Get(), &size)) return false;
    if (ReadFileId(path) != opened) continue;
    if (rotation.old_files > 0 && static_cast<std::uint64_t>(size.QuadPart) >= rotation.max_size) {
      if (!Rotate(wide, rotation.old_files)) return false;
      continue;
    }
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
  }
  return false;
}

}  // namespace nurv::platform
