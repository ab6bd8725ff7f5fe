// The run lock is a locked file in the user's local application data, not a named mutex: a
// mutex's name lives in the logon session, so one user's console and terminal-server sessions
// would each get their own, while this folder is the user's own in every session. The system
// drops the lock with the process, as on POSIX.
#include "platform/run_lock.h"

#include <shlobj.h>
#include <windows.h>

#include <utility>

#include "platform/win32/regular_file.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

namespace {

class FileRunLock : public RunLock {
 public:
  explicit FileRunLock(win32::UniqueKernelHandle file) : file_(std::move(file)) {}

 private:
  win32::UniqueKernelHandle file_;
};

[[noreturn]] void Refuse(const std::wstring& path, DWORD error) {
  throw RunLockError(RunLockError::Reason::System, win32::Narrow(path), win32::ErrorText(error));
}

[[noreturn]] void RefuseNotAFile(const std::wstring& path) {
  throw RunLockError(RunLockError::Reason::NotAFile, win32::Narrow(path), "not a regular file");
}

std::wstring LocalAppDataFolder() {
  wchar_t folder[MAX_PATH];
  const HRESULT result =
      SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder);
  if (FAILED(result)) Refuse(L"%LOCALAPPDATA%", static_cast<DWORD>(result));
  return folder;
}

}  // namespace

std::unique_ptr<RunLock> TryTakeRunLock(const std::string& loader_dir) {
  const std::wstring folder = LocalAppDataFolder() + L"\\nurv";
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    Refuse(folder, GetLastError());
  // Windows names a folder without regard to case: so does the lock.
  std::wstring key = win32::Widen(loader_dir);
  CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  const std::wstring path = folder + L"\\" + win32::Widen(RunLockFileName(win32::Narrow(key)));
  // The file stays: removing a lock file races with a process that has just opened it. A reparse
  // point at the name is opened itself, never what it points to, and then refused.
  win32::UniqueKernelHandle file(
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    // A folder cannot be opened as a file: the system says only that access is denied.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      RefuseNotAFile(path);
    Refuse(path, error);
  }
  if (!win32::RegularDiskFileId(file.Get())) RefuseNotAFile(path);
  OVERLAPPED whole{};
  if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                  &whole)) {
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION) return nullptr;
    Refuse(path, error);
  }
  return std::make_unique<FileRunLock>(std::move(file));
}

}  // namespace nurv::platform
