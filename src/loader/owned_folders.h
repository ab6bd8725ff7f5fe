#pragma once
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "rules/loader_files.h"
#include "rules/module_catalogue.h"
#include "settings/settings_record.h"

namespace nurv {

// A path the update engine must not touch.
class ForbiddenPathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The folders the loader owns, from the settings in force: the program folder with everything
// below it, the update, help and templates folders and the private temporary folder. The update
// routines pass every path here before they read, write, delete, rename or re-mode it, so
// nothing outside these folders is ever touched. Paths are compared by their text after
// normalisation (no ".." leads out; without case on Windows), and the folder a path is in by
// where it really is: a folder inside that is a link to another place (an owned folder itself
// too) leads outside. A link as the last part of a path is a file inside.
class OwnedFolders {
 public:
  explicit OwnedFolders(const SettingsRecord& settings);

  // False when the folder's setting is empty or not an absolute path.
  bool IsKnown(FolderKind kind) const;

  // "Путь вне папок комплекса: [<path>]" unless `path` lies below a known folder.
  std::optional<std::string> Refusal(const std::string& path) const;
  // Refusal, then "Запись заменяет файл загрузчика: [<path>]" for the running loader's own file
  // (by identity) or a file of the loader's names in the program folder.
  std::optional<std::string> DestinationRefusal(const std::string& path) const;
  // The same for a path whose identity the caller has read already (ReadFileId's answer).
  std::optional<std::string> DestinationRefusal(const std::string& path,
                                                const std::optional<platform::FileId>& id) const;

  // The same as ForbiddenPathError, for a row walk, whose row frame logs it like any error of
  // the row.
  void Check(const std::string& path) const;
  void CheckDestination(const std::string& path) const;
  void CheckDestination(const std::string& path, const std::optional<platform::FileId>& id) const;

 private:
  // Refusal of `path`, given as Comparable made it.
  std::optional<std::string> Refusal(const std::string& path,
                                     const std::filesystem::path& comparable) const;

  // True when the existing folder `folder` really lies in an owned folder (or cannot be told).
  bool ReallyInside(const std::filesystem::path& folder) const;

  std::array<std::optional<std::filesystem::path>, 5> folders_;  // by FolderKind
  // Where each folder really is, links above it resolved but not the folder itself.
  std::array<std::optional<std::filesystem::path>, 5> real_folders_;
  // The folders already looked up, with their answer: a walk puts many files into few folders.
  mutable std::map<std::filesystem::path, bool> checked_folders_;
  // The running loader's own file, looked up once: a walk asks for every row.
  std::optional<platform::FileId> running_loader_;
};

// The setting that holds the folder: "PathProgram", "PathUpdate", "PathHelp", "PathShablon",
// "PathTemp".
std::string_view FolderSettingName(FolderKind kind);

}  // namespace nurv
