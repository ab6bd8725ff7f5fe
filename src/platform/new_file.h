#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/value.h"

namespace nurv::platform {

// A file that this handle creates and nobody else: its name must be free (no file, no link, no
// folder there), so no write can be led to another place. It is written, stamped and closed through
// its one handle; a file that was created but not closed successfully is the caller's to remove.
class NewFile {
 public:
  NewFile() = default;
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Creates `path` for writing, readable as a file created by the program normally is. False
  // (LastErrorText says why) when anything is at `path` or it cannot be created.
  [[nodiscard]] bool Create(const std::string& path);
  [[nodiscard]] bool Write(const void* data, std::size_t size);
  [[nodiscard]] bool SetModifiedTime(DateTime local_time);
  // Gives the file the permission bits of `source` (POSIX; nothing to do on Windows).
  [[nodiscard]] bool CopyModeOf(const std::string& source);
  // False when the bytes may not have reached the file.
  [[nodiscard]] bool Close();
  bool IsOpen() const { return handle_ != kNoHandle; }

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;  // a descriptor, or a HANDLE on Windows
};

}  // namespace nurv::platform
