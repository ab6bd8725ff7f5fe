#include "loader/owned_folders.h"

#include <algorithm>

#include "loader/update_files.h"

#ifdef _WIN32
#include "loader/run_state.h"
#endif

namespace nurv {

namespace {

// `utf8` made comparable: normalised, without a final separator, lower case on Windows.
std::filesystem::path Comparable(const std::string& utf8) {
#ifdef _WIN32
  std::filesystem::path path = FsPath(LowerCaseText(utf8)).lexically_normal();
#else
  std::filesystem::path path = FsPath(utf8).lexically_normal();
#endif
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
  return path;
}

// True when `path` lies below `folder` (not the folder itself).
bool Below(const std::filesystem::path& path, const std::filesystem::path& folder) {
  auto inside = path.begin();
  for (const std::filesystem::path& part : folder) {
    if (inside == path.end() || *inside != part) return false;
    ++inside;
  }
  return inside != path.end();
}

}  // namespace

OwnedFolders::OwnedFolders(const TRecordRegistry& settings) {
  const auto set = [this](FolderKind kind, const std::string& folder) {
    std::filesystem::path path = Comparable(folder);
    if (path.is_absolute()) folders_[static_cast<std::size_t>(kind)] = std::move(path);
  };
  set(FolderKind::Program, settings.PathProgram);
  set(FolderKind::Update, settings.PathUpdate);
  set(FolderKind::Help, settings.PathHelp);
  set(FolderKind::Templates, settings.PathShablon);
  set(FolderKind::Temp, settings.PathTemp);
}

bool OwnedFolders::IsKnown(FolderKind kind) const {
  return folders_[static_cast<std::size_t>(kind)].has_value();
}

void OwnedFolders::Check(const std::string& path) const {
  const std::filesystem::path comparable = Comparable(path);
  const bool inside = std::any_of(folders_.begin(), folders_.end(), [&](const auto& folder) {
    return folder && Below(comparable, *folder);
  });
  if (!inside) throw ForbiddenPathError("Путь вне папок комплекса: [" + path + "]");
}

std::string_view FolderSettingName(FolderKind kind) {
  switch (kind) {
    case FolderKind::Program:
      return "PathProgram";
    case FolderKind::Update:
      return "PathUpdate";
    case FolderKind::Help:
      return "PathHelp";
    case FolderKind::Templates:
      return "PathShablon";
    case FolderKind::Temp:
      return "PathTemp";
  }
  return {};
}

}  // namespace nurv
