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

bool EnsureRegistryKeys(platform::Registry& registry, UiServices& ui) {
  bool missing = false;
  if (registry.Open(layout::kNurvKey) == nullptr) {
    registry.Create(layout::kNurvKey);
    missing = true;
  }
  for (const std::string_view sub_key : {layout::kUsersKey, layout::kDataBaseCaptionsKey,
                                         layout::kDataBaseNamesKey, layout::kServerNamesKey}) {
    if (registry.Open(sub_key) == nullptr) registry.Create(sub_key);
  }
  ui.AddLogLine(missing ? "Наличие записи в реестре - Отсутствует"
                        : "Наличие записи НУРВ в реестре - OK");
  return missing;
}

void WriteRegistrySettings(platform::Registry& registry, TRecordRegistry ini_settings,
                           TRecordRegistry& loader_settings, UiServices& ui,
                           const std::string& executable_path) {
  bool failed = false;
  auto unit = [&](std::string_view key_path, const std::function<void(RegistryKey&)>& work,
                  const char* error_line) {
    RunUnit(registry, key_path, work, [&] {
      ui.AddLogLine(error_line);
      failed = true;
    });
  };
  const TRecordRegistry& ini = ini_settings;
  TRecordRegistry& out = loader_settings;

  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetDword(layout::kRegion, ini.Region);
        out.Region = ini.Region;
      },
      "Запись территориальной привязки (1) - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetDword(layout::kRegion2, ini.Region2);
        out.Region2 = ini.Region2;
      },
      "Запись территориальной привязки (2) - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetString(layout::kPathProgram, ini.PathProgram);
        // The loader always works from its own folder, whatever the file says.
        out.PathProgram = FolderOf(executable_path);
      },
      "Запись пути программы - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetString(layout::kPathUpdate, ini.PathUpdate);
        out.PathUpdate = ini.PathUpdate;
      },
      "Запись пути обновлений - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetString(layout::kPathHelp, ini.PathHelp);
        out.PathHelp = ini.PathHelp;
      },
      "Запись пути файла справки - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetString(layout::kPathShablon, ini.PathShablon);
        out.PathShablon = ini.PathShablon;
      },
      "Запись пути шаблона - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetString(layout::kPathReport, ini.PathReport);
        out.PathReport = ini.PathReport;
      },
      "Запись пути бланка - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetDword(layout::kShowWordProces, ini.ShowWordProces ? 1 : 0);
        out.ShowWordProces = ini.ShowWordProces;
      },
      "Запись процесса формирования бланка - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetDword(layout::kThemeXP, ini.ThemeXP ? 1 : 0);
        if (ini.ThemeXP) {
          WriteThemeManifestFor(executable_path);
        } else {
          DeleteThemeManifestFor(executable_path);
        }
        out.ThemeXP = ini.ThemeXP;
      },
      "Запись слиля Windows - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetDword(layout::kRefreshRepl, ini.RefreshRepl);
        out.RefreshRepl = ini.RefreshRepl;
      },
      "Запись времени обновления отображаемой информации - ОШИБКА");
  unit(
      layout::kNurvKey,
      [&](RegistryKey& key) {
        key.SetString(layout::kLastUser, ini.User);
        out.User = ini.User;
      },
      "Запись последнего пользователя - ОШИБКА");
  const auto connection_value = [](std::string_view prefix) {
    return layout::NumberedValueName(prefix, layout::kIniConnection);
  };
  unit(
      layout::kDataBaseCaptionsKey,
      [&](RegistryKey& key) {
        key.SetString(connection_value(layout::kDataBaseCaptionPrefix), ini.Caption);
        out.Caption = ini.Caption;
      },
      "Запись описания БД - ОШИБКА");
  unit(
      layout::kDataBaseNamesKey,
      [&](RegistryKey& key) {
        key.SetString(connection_value(layout::kDataBaseNamePrefix), ini.DataBase);
        out.DataBase = ini.DataBase;
      },
      "Запись имени БД - ОШИБКА");
  unit(
      layout::kServerNamesKey,
      [&](RegistryKey& key) {
        key.SetString(connection_value(layout::kServerNamePrefix), ini.Server);
        out.Server = ini.Server;
      },
      "Запись имени сервера - ОШИБКА");
  unit(
      layout::kUsersKey,
      [&](RegistryKey& key) {
        key.SetString(connection_value(layout::kUserPrefix), ini.User);
        out.User = ini.User;
      },
      "Запись имени пользователя - ОШИБКА");

  if (!failed) ui.AddLogLine("Запись в реестр файла инициализации - OK");
}

void ReadRegistrySettings(platform::Registry& registry, TRecordRegistry& loader_settings,
                          UiServices& ui, const std::string& loader_dir,
                          const std::string& executable_path) {
  bool failed = false;
  TRecordRegistry& out = loader_settings;
  auto unit = [&](const std::function<void(RegistryKey&)>& work,
                  const std::function<void()>& on_error) {
    RunUnit(registry, layout::kNurvKey, work, on_error);
  };
  auto logged = [&](const char* error_line, bool marks) {
    return [&ui, &failed, error_line, marks] {
      ui.AddLogLine(error_line);
      if (marks) failed = true;
    };
  };
  // A repair reopens the key: the unit's own key may be the one that failed.
  auto repair = [&](std::string_view name, std::uint32_t number) {
    try {
      if (const auto key = registry.Open(layout::kNurvKey)) TryWriteDword(*key, name, number);
    } catch (const std::exception&) {
    }
  };

  unit(
      [&](RegistryKey& key) {
        out.Region = static_cast<std::uint16_t>(ReadDword(key, layout::kRegion));
      },
      [&] { repair(layout::kRegion, 550); });
  unit(
      [&](RegistryKey& key) {
        out.Region2 = static_cast<std::uint16_t>(ReadDword(key, layout::kRegion2));
      },
      [&] { repair(layout::kRegion2, 1); });

  // The program and temporary folders do not come from the registry; they are set even when the
  // key cannot be opened, since every update stage writes below them.
  try {
    out.PathProgram = loader_dir;
    out.PathTemp = platform::UserTempFolder();
  } catch (const std::exception&) {
    logged("Считывание пути программы - ОШИБКА", true)();
  }

  unit([&](RegistryKey& key) { out.PathUpdate = ReadString(key, layout::kPathUpdate); },
       logged("Считывание пути обновлений - ОШИБКА", false));
  unit([&](RegistryKey& key) { out.PathHelp = ReadString(key, layout::kPathHelp); },
       logged("Считывание пути файла справки - ОШИБКА", true));
  unit([&](RegistryKey& key) { out.PathShablon = ReadString(key, layout::kPathShablon); },
       logged("Считывание пути шаблона - ОШИБКА", true));
  unit([&](RegistryKey& key) { out.PathReport = ReadString(key, layout::kPathReport); },
       logged("Считывание пути бланка - ОШИБКА", true));
  unit([&](RegistryKey& key) { out.ShowWordProces = ReadDword(key, layout::kShowWordProces) == 1; },
       [&] {
         out.ShowWordProces = false;
         logged("Считывание процесса формирования бланка - ОШИБКА", true)();
       });
  unit([&](RegistryKey& key) { out.ThemeXP = ReadDword(key, layout::kThemeXP) == 1; },
       [&] {
         out.ThemeXP = true;
         repair(layout::kThemeXP, 1);
         WriteThemeManifestFor(executable_path);
         logged("Считывание стиля Windows - ОШИБКА", true)();
       });
  unit(
      [&](RegistryKey& key) {
        out.RefreshRepl = static_cast<std::uint16_t>(ReadDword(key, layout::kRefreshRepl));
      },
      [&] {
        repair(layout::kRefreshRepl, 5);
        logged("Считывание времени обновления отображаемой информации - ОШИБКА", true)();
      });

  if (!failed) ui.AddLogLine("Считывание реестра  - OK");
}

}  // namespace nurv
