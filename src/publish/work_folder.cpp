#include "publish/work_folder.h"

#include <filesystem>
#include <random>
#include <stdexcept>

#include "base/utf8.h"
#include "platform/paths.h"
#include "platform/system_info.h"

namespace nurv::publish {

WorkFolder::WorkFolder() {
  const std::string parent = platform::UserTempFolder();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate =
        parent + platform::kPathDelim + "nurv-publish-" + std::to_string(random());
    std::error_code error;
    if (std::filesystem::create_directory(PathFromUtf8(candidate), error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("Не удалось создать рабочую папку в " + parent);
}

WorkFolder::~WorkFolder() {
  std::error_code ignored;  // what cannot be removed stays in the user's private folder
  std::filesystem::remove_all(PathFromUtf8(path_), ignored);
}

std::string WorkFolder::Sub(const std::string& name) const {
  return path_ + platform::kPathDelim + name;
}

}  // namespace nurv::publish
