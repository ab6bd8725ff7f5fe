#pragma once
#include <string>

#include "platform/registry.h"
#include "settings/record_registry.h"
#include "support/ui_services.h"

namespace nurv {

// Creates \SOFTWARE\NURVSQL and its four sub-keys where missing and logs whether the key was
// there. Returns whether it was missing. A key that cannot be created raises
// platform::RegistryError.
bool EnsureRegistryKeys(platform::Registry& registry, UiServices& ui);

// Copies the settings of the initialisation file into the registry, value by value; each value
// written successfully is also taken into `loader_settings`. A value that cannot be written is
// logged and the rest go on. `executable_path` is the loader's own file, beside which the theme
// manifest is written or deleted.
void WriteRegistrySettings(platform::Registry& registry, TRecordRegistry ini_settings,
                           TRecordRegistry& loader_settings, UiServices& ui,
                           const std::string& executable_path);

// Reads the settings in force from the registry into `loader_settings`, repairing missing
// values as the complex expects; `PathProgram` is always `loader_dir` and `PathTemp` the user's
// temporary folder.
void ReadRegistrySettings(platform::Registry& registry, TRecordRegistry& loader_settings,
                          UiServices& ui, const std::string& loader_dir,
                          const std::string& executable_path);

}  // namespace nurv
