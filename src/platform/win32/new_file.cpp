#include "platform/new_file.h"

#include <windows.h>

#include "platform/win32/system_time.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

namespace {
HANDLE HandleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

NewFile::~NewFile() {
  if (IsOpen()) CloseHandle(HandleOf(handle_));
}

bool NewFile::Create(const std::string& path) {
  // CREATE_NEW fails on anything at the name, a link or junction too; the reparse-point flag keeps
  // the call from ever following one.
  const HANDLE file = CreateFileW(win32::Widen(path).c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool NewFile::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(HandleOf(handle_), bytes, piece, &written, nullptr) || written == 0)
      return false;
    bytes += written;
    size -= written;
  }
  return true;
}

bool NewFile::SetModifiedTime(DateTime local_time) {
  FILETIME utc;
  return win32::UtcFileTimeOf(local_time, utc) &&
         SetFileTime(HandleOf(handle_), nullptr, nullptr, &utc) != 0;
}

bool NewFile::CopyModeOf(const std::string&) { return true; }

bool NewFile::Close() {
  const HANDLE file = HandleOf(handle_);
  handle_ = kNoHandle;
  return CloseHandle(file) != 0;
}

}  // namespace nurv::platform
