#include "platform/files.h"

#include <windows.h>

#include "platform/win32/system_time.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

using win32::FromSystemTime;
using win32::Widen;

namespace {

std::optional<DateTime> LocalWriteTime(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToSystemTime(&local, &st)) {
    return std::nullopt;
  }
  return FromSystemTime(st);
}

}  // namespace

std::optional<std::uint32_t> ReadAttributes(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes;
}

bool WriteAttributes(const std::string& path, std::uint32_t attributes) {
  return SetFileAttributesW(Widen(path).c_str(), attributes) != 0;
}

bool WriteUnixMode(const std::string&, std::uint32_t) { return true; }

bool FileExists(const std::string& path) {
  const auto attributes = ReadAttributes(path);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const auto attributes = ReadAttributes(path);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Widen(path).c_str()) != 0; }

bool CreateFolder(const std::string& path) {
  return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  return CopyFileW(Widen(from).c_str(), Widen(to).c_str(), FALSE) != 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::optional<FileId> ReadFileId(const std::string& path) {
  // No access asked for, every sharing allowed: a file in use is identified too.
  const win32::UniqueKernelHandle file(
      CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::optional<DateTime> ReadModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return LocalWriteTime(data);
}

FileFacts ReadFileFacts(const std::string& path) {
  // The attributes answer FileExists and ReadModifiedTime alike; the identity needs a handle.
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    return {false, ReadFileId(path), std::nullopt};
  }
  return {(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0, ReadFileId(path),
          LocalWriteTime(data)};
}

bool WriteModifiedTime(const std::string& path, DateTime local_time) {
  FILETIME utc;
  if (!win32::UtcFileTimeOf(local_time, utc)) return false;
  // Backup semantics let the same call stamp a folder.
  win32::UniqueKernelHandle file(CreateFileW(Widen(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                             nullptr));
  if (!file) return false;
  const bool written = SetFileTime(file.Get(), nullptr, nullptr, &utc) != 0;
  const DWORD error = GetLastError();
  file.Reset();
  if (!written) SetLastError(error);
  return written;
}

std::string LastErrorText() { return win32::ErrorText(GetLastError()); }

}  // namespace nurv::platform
