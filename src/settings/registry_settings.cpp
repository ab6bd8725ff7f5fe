#include "settings/registry_settings.h"

#include <exception>
#include <functional>
#include <stdexcept>

#include "platform/paths.h"
#include "platform/system_info.h"
#include "settings/registry_layout.h"
#include "support/theme_manifest.h"

namespace nurv {
namespace {

namespace layout = reglayout;
using platform::RegistryKey;
using platform::RegType;

// A stored value that is missing or of the wrong type.
class ValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::uint32_t ReadDword(RegistryKey& key, std::string_view name) {
  const auto value = key.Query(name);
  if (!value || value->type != RegType::Dword) {
    throw ValueError("value " + std::string(name) + " is not a DWORD");
  }
  return value->number;
}

std::string ReadString(RegistryKey& key, std::string_view name) {
  const auto value = key.Query(name);
  if (!value) return "";
  if (value->type != RegType::Sz && value->type != RegType::ExpandSz) {
    throw ValueError("value " + std::string(name) + " is not a string");
  }
  return value->text;
}

// Runs one unit on the key at `key_path`: nothing when the key does not open; `on_error` when
// opening or the unit's work fails.
void RunUnit(platform::Registry& registry, std::string_view key_path,
             const std::function<void(RegistryKey&)>& work, const std::function<void()>& on_error) {
  try {
    const auto key = registry.Open(key_path);
    if (key == nullptr) return;
    work(*key);
  } catch (const std::exception&) {
    on_error();
  }
}

// A repair write that fails leaves the next run to try again; it must not end the reading.
void TryWriteDword(RegistryKey& key, std::string_view name, std::uint32_t number) {
  try {
    key.SetDword(name, number);
  } catch (const std::exception&) {
  }
}

std::string FolderOf(const std::string& executable_path) {
  const std::size_t delim = executable_path.rfind(platform::kPathDelim);
  return delim == std::string::npos ? std::string() : executable_path.substr(0, delim + 1);
}

}  // namespace

bool EnsureRegistryKeys(platform::Registry& registry) {
  bool missing = false;
  if (registry.Open(layout::kNurvKey) == nullptr) {
    registry.Create(layout::kNurvKey);
    missing = true;
  }
  for (const std::string_view sub_key : {layout::kUsersKey, layout::kDataBaseCaptionsKey,
                                         layout::kDataBaseNamesKey, layout::kServerNamesKey}) {
    if (registry.Open(sub_key) == nullptr) registry.Create(sub_key);
  }
  return missing;
}

std::vector<WriteUnit> WriteRegistrySettings(platform::Registry& registry,
                                             SettingsRecord ini_settings,
                                             SettingsRecord& loader_settings,
                                             const std::string& executable_path) {
  std::vector<WriteUnit> failed;
  auto unit = [&](WriteUnit which, std::string_view key_path,
                  const std::function<void(RegistryKey&)>& work) {
    RunUnit(registry, key_path, work, [&] { failed.push_back(which); });
  };
  const SettingsRecord& ini = ini_settings;
  SettingsRecord& out = loader_settings;
  // A text value that the registry and the settings in force take as the file has it.
  const auto text_unit = [&](WriteUnit which, std::string_view key_path, std::string_view name,
                             std::string SettingsRecord::*field) {
    unit(which, key_path, [&](RegistryKey& key) {
      key.SetString(name, ini.*field);
      out.*field = ini.*field;
    });
  };

  unit(WriteUnit::Region, layout::kNurvKey, [&](RegistryKey& key) {
    key.SetDword(layout::kRegion, ini.Region);
    out.Region = ini.Region;
  });
  unit(WriteUnit::Region2, layout::kNurvKey, [&](RegistryKey& key) {
    key.SetDword(layout::kRegion2, ini.Region2);
    out.Region2 = ini.Region2;
  });
  unit(WriteUnit::PathProgram, layout::kNurvKey, [&](RegistryKey& key) {
    key.SetString(layout::kPathProgram, ini.PathProgram);
    // The loader always works from its own folder, whatever the file says.
    out.PathProgram = FolderOf(executable_path);
  });
  text_unit(WriteUnit::PathUpdate, layout::kNurvKey, layout::kPathUpdate,
            &SettingsRecord::PathUpdate);
  text_unit(WriteUnit::PathHelp, layout::kNurvKey, layout::kPathHelp, &SettingsRecord::PathHelp);
  text_unit(WriteUnit::PathShablon, layout::kNurvKey, layout::kPathShablon,
            &SettingsRecord::PathShablon);
  text_unit(WriteUnit::PathReport, layout::kNurvKey, layout::kPathReport,
            &SettingsRecord::PathReport);
  unit(WriteUnit::ShowWordProces, layout::kNurvKey, [&](RegistryKey& key) {
    key.SetDword(layout::kShowWordProces, ini.ShowWordProces ? 1 : 0);
    out.ShowWordProces = ini.ShowWordProces;
  });
  unit(WriteUnit::ThemeXP, layout::kNurvKey, [&](RegistryKey& key) {
    key.SetDword(layout::kThemeXP, ini.ThemeXP ? 1 : 0);
    if (ini.ThemeXP) {
      WriteThemeManifest(executable_path);
    } else {
      DeleteThemeManifest(executable_path);
    }
    out.ThemeXP = ini.ThemeXP;
  });
  unit(WriteUnit::RefreshRepl, layout::kNurvKey, [&](RegistryKey& key) {
    key.SetDword(layout::kRefreshRepl, ini.RefreshRepl);
    out.RefreshRepl = ini.RefreshRepl;
  });
  text_unit(WriteUnit::LastUser, layout::kNurvKey, layout::kLastUser, &SettingsRecord::User);
  const auto connection_value = [](std::string_view prefix) {
    return layout::NumberedValueName(prefix, layout::kIniConnection);
  };
  text_unit(WriteUnit::DataBaseCaption51, layout::kDataBaseCaptionsKey,
            connection_value(layout::kDataBaseCaptionPrefix), &SettingsRecord::Caption);
  text_unit(WriteUnit::DataBaseName51, layout::kDataBaseNamesKey,
            connection_value(layout::kDataBaseNamePrefix), &SettingsRecord::DataBase);
  text_unit(WriteUnit::ServerName51, layout::kServerNamesKey,
            connection_value(layout::kServerNamePrefix), &SettingsRecord::Server);
  text_unit(WriteUnit::User51, layout::kUsersKey, connection_value(layout::kUserPrefix),
            &SettingsRecord::User);
  return failed;
}

std::vector<ReadUnit> ReadRegistrySettings(platform::Registry& registry,
                                           SettingsRecord& loader_settings,
                                           const std::string& loader_dir,
                                           const std::string& executable_path) {
  std::vector<ReadUnit> failed;
  SettingsRecord& out = loader_settings;
  // `repair` runs when the unit fails, before the failure is recorded.
  auto unit = [&](ReadUnit which, const std::function<void(RegistryKey&)>& work,
                  const std::function<void()>& repair = {}) {
    RunUnit(registry, layout::kNurvKey, work, [&] {
      if (repair) repair();
      failed.push_back(which);
    });
  };
  // A repair reopens the key: the unit's own key may be the one that failed.
  auto rewrite = [&](std::string_view name, std::uint32_t number) {
    try {
      if (const auto key = registry.Open(layout::kNurvKey)) TryWriteDword(*key, name, number);
    } catch (const std::exception&) {
    }
  };

  unit(
      ReadUnit::Region,
      [&](RegistryKey& key) {
        out.Region = static_cast<std::uint16_t>(ReadDword(key, layout::kRegion));
      },
      [&] { rewrite(layout::kRegion, 550); });
  unit(
      ReadUnit::Region2,
      [&](RegistryKey& key) {
        out.Region2 = static_cast<std::uint16_t>(ReadDword(key, layout::kRegion2));
      },
      [&] { rewrite(layout::kRegion2, 1); });

  // The program and temporary folders do not come from the registry; they are set even when the
  // key cannot be opened, since every update stage writes below them.
  try {
    out.PathProgram = loader_dir;
    out.PathTemp = platform::UserTempFolder();
  } catch (const std::exception&) {
    failed.push_back(ReadUnit::Folders);
  }

  unit(ReadUnit::PathUpdate,
       [&](RegistryKey& key) { out.PathUpdate = ReadString(key, layout::kPathUpdate); });
  unit(ReadUnit::PathHelp,
       [&](RegistryKey& key) { out.PathHelp = ReadString(key, layout::kPathHelp); });
  unit(ReadUnit::PathShablon,
       [&](RegistryKey& key) { out.PathShablon = ReadString(key, layout::kPathShablon); });
  unit(ReadUnit::PathReport,
       [&](RegistryKey& key) { out.PathReport = ReadString(key, layout::kPathReport); });
  unit(
      ReadUnit::ShowWordProces,
      [&](RegistryKey& key) { out.ShowWordProces = ReadDword(key, layout::kShowWordProces) == 1; },
      [&] { out.ShowWordProces = false; });
  unit(
      ReadUnit::ThemeXP,
      [&](RegistryKey& key) { out.ThemeXP = ReadDword(key, layout::kThemeXP) == 1; },
      [&] {
        out.ThemeXP = true;
        rewrite(layout::kThemeXP, 1);
        WriteThemeManifest(executable_path);
      });
  unit(
      ReadUnit::RefreshRepl,
      [&](RegistryKey& key) {
        out.RefreshRepl = static_cast<std::uint16_t>(ReadDword(key, layout::kRefreshRepl));
      },
      [&] { rewrite(layout::kRefreshRepl, 5); });
  return failed;
}

}  // namespace nurv
