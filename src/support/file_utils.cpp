#include "support/file_utils.h"

#include <filesystem>
#include <system_error>

#include "base/utf8.h"
#include "platform/files.h"

namespace nurv {

void MakeFileWritable(const std::string& path) {
  const auto attributes = platform::ReadAttributes(path);
  if (!attributes) return;
  std::uint32_t updated = *attributes & 0xFFFFu;
  updated &= ~(platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem);
  updated |= platform::kAttrArchive;
  platform::WriteAttributes(path, updated);
}

bool ForceDeleteFile(const std::string& path) {
  MakeFileWritable(path);
  return platform::RemoveFile(path);
}

bool EntryExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(PathFromUtf8(path), error));
}

bool RemoveEntry(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(PathFromUtf8(path), error);
  if (!std::filesystem::exists(status)) return true;
  if (!std::filesystem::is_directory(status)) return ForceDeleteFile(path);
  std::filesystem::remove_all(PathFromUtf8(path), error);
  return !error;
}

}  // namespace nurv
