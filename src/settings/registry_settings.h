#pragma once
#include <string>
#include <vector>

#include "platform/registry.h"
#include "settings/settings_record.h"

namespace nurv {

// Creates \SOFTWARE\NURVSQL and its four sub-keys where missing. Returns whether the key was
// missing. A key that cannot be created raises platform::RegistryError.
bool EnsureRegistryKeys(platform::Registry& registry);

// The values WriteRegistrySettings writes, in its order.
enum class WriteUnit {
  Region,
  Region2,
  PathProgram,
  PathUpdate,
  PathHelp,
  PathShablon,
  PathReport,
  ShowWordProces,
  ThemeXP,
  RefreshRepl,
  LastUser,
  DataBaseCaption51,
  DataBaseName51,
  ServerName51,
  User51,
};

// Copies the settings of the initialisation file into the registry, value by value; each value
// written successfully is also taken into `loader_settings`. A value that cannot be written does
// not keep the rest from being written. `executable_path` is the loader's own file, beside which
// the theme manifest is written or deleted. Returns the values that could not be written.
[[nodiscard]] std::vector<WriteUnit> WriteRegistrySettings(platform::Registry& registry,
                                                           SettingsRecord ini_settings,
                                                           SettingsRecord& loader_settings,
                                                           const std::string& executable_path);

// What ReadRegistrySettings reads, in its order; Folders are the program and temporary folders,
// which do not come from the registry.
enum class ReadUnit {
  Region,
  Region2,
  Folders,
  PathUpdate,
  PathHelp,
  PathShablon,
  PathReport,
  ShowWordProces,
  ThemeXP,
  RefreshRepl,
};

// Reads the settings in force from the registry into `loader_settings`, repairing missing
// values as the complex expects; `PathProgram` is always `loader_dir` and `PathTemp` the user's
// temporary folder. Returns what could not be read (and was repaired where the complex expects
// it).
[[nodiscard]] std::vector<ReadUnit> ReadRegistrySettings(platform::Registry& registry,
                                                         SettingsRecord& loader_settings,
                                                         const std::string& loader_dir,
                                                         const std::string& executable_path);

}  // namespace nurv
