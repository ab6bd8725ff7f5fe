#include "loader/owned_folders.h"

#include <algorithm>

#include "base/utf8.h"
#include "platform/system_info.h"

#ifdef _WIN32
#include "loader/run_state.h"
#endif

namespace nurv {

namespace {

// `utf8` made comparable: normalised, without a final separator, lower case on Windows.
std::filesystem::path Comparable(const std::string& utf8) {
#ifdef _WIN32
  std::filesystem::path path = PathFromUtf8(LowerCaseText(utf8)).lexically_normal();
#else
  std::filesystem::path path = PathFromUtf8(utf8).lexically_normal();
#endif
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
  return path;
}

// LoaderFileNames made comparable, once: a walk compares every row's name with them.
const std::vector<std::filesystem::path>& ComparableLoaderNames() {
  static const auto names = [] {
    std::vector<std::filesystem::path> comparable;
    for (const std::string_view name : LoaderFileNames()) {
      comparable.push_back(Comparable(std::string(name)));
    }
    return comparable;
  }();
  return names;
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

// Where the existing `folder` really is, every link resolved; nullopt when that cannot be told.
std::optional<std::filesystem::path> RealFolder(const std::filesystem::path& folder) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(folder, error);
  if (error) return std::nullopt;
  return Comparable(Utf8FromPath(real));
}

// The running loader's file; none when the platform cannot say (its names still protect the
// program folder).
std::optional<platform::FileId> RunningLoader() {
  try {
    return platform::ReadFileId(platform::OwnExecutablePath());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

OwnedFolders::OwnedFolders(const SettingsRecord& settings) : running_loader_(RunningLoader()) {
  const auto set = [this](FolderKind kind, const std::string& folder) {
    std::filesystem::path path = Comparable(folder);
    if (path.is_absolute()) folders_[static_cast<std::size_t>(kind)] = std::move(path);
  };
  set(FolderKind::Program, settings.PathProgram);
  set(FolderKind::Update, settings.PathUpdate);
  set(FolderKind::Help, settings.PathHelp);
  set(FolderKind::Templates, settings.PathShablon);
  set(FolderKind::Temp, settings.PathTemp);
  for (std::size_t i = 0; i < folders_.size(); ++i) {
    if (!folders_[i]) continue;
    const auto above = RealFolder(folders_[i]->parent_path());
    real_folders_[i] = above ? *above / folders_[i]->filename() : *folders_[i];
  }
}

bool OwnedFolders::ReallyInside(const std::filesystem::path& folder) const {
  if (const auto known = checked_folders_.find(folder); known != checked_folders_.end())
    return known->second;
  const auto real = RealFolder(folder);
  const bool inside =
      !real || std::any_of(real_folders_.begin(), real_folders_.end(), [&](const auto& owned) {
        return owned && (*real == *owned || Below(*real, *owned));
      });
  checked_folders_.emplace(folder, inside);
  return inside;
}

bool OwnedFolders::IsKnown(FolderKind kind) const {
  return folders_[static_cast<std::size_t>(kind)].has_value();
}

std::optional<std::string> OwnedFolders::Refusal(const std::string& path) const {
  return Refusal(path, Comparable(path));
}

std::optional<std::string> OwnedFolders::Refusal(const std::string& path,
                                                 const std::filesystem::path& comparable) const {
  const bool inside = std::any_of(folders_.begin(), folders_.end(), [&](const auto& folder) {
    return folder && Below(comparable, *folder);
  });
  if (!inside || !ReallyInside(comparable.parent_path()))
    return "Путь вне папок комплекса: [" + path + "]";
  return std::nullopt;
}

std::optional<std::string> OwnedFolders::DestinationRefusal(const std::string& path) const {
  // Nothing outside the owned folders is looked up.
  if (auto refusal = Refusal(path)) return refusal;
  return DestinationRefusal(path, running_loader_ ? platform::ReadFileId(path) : std::nullopt);
}

std::optional<std::string> OwnedFolders::DestinationRefusal(
    const std::string& path, const std::optional<platform::FileId>& id) const {
  const std::filesystem::path comparable = Comparable(path);
  if (auto refusal = Refusal(path, comparable)) return refusal;
  const auto& program = folders_[static_cast<std::size_t>(FolderKind::Program)];
  const bool loader_name =
      program && comparable.parent_path() == *program &&
      std::any_of(ComparableLoaderNames().begin(), ComparableLoaderNames().end(),
                  [&](const auto& name) { return comparable.filename() == name; });
  const bool running_loader = running_loader_ && id == running_loader_;
  if (loader_name || running_loader) return "Запись заменяет файл загрузчика: [" + path + "]";
  return std::nullopt;
}

void OwnedFolders::Check(const std::string& path) const {
  if (auto refusal = Refusal(path)) throw ForbiddenPathError(*refusal);
}

void OwnedFolders::CheckDestination(const std::string& path) const {
  if (auto refusal = DestinationRefusal(path)) throw ForbiddenPathError(*refusal);
}

void OwnedFolders::CheckDestination(const std::string& path,
                                    const std::optional<platform::FileId>& id) const {
  if (auto refusal = DestinationRefusal(path, id)) throw ForbiddenPathError(*refusal);
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
