#pragma once
#include <windows.h>

#include <optional>

#include "platform/files.h"

namespace nurv::platform::win32 {

// The identity of an open regular file on a disk; nothing for a pipe, a device, a folder or a
// reparse point (a link, opened itself with FILE_FLAG_OPEN_REPARSE_POINT).
inline std::optional<FileId> RegularDiskFileId(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return std::nullopt;
  }
  return FileId{info.dwVolumeSerialNumber,
                (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace nurv::platform::win32
