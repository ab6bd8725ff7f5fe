#include "support/file_utils.h"

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

}  // namespace nurv
