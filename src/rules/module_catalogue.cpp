#include "rules/module_catalogue.h"

#include <array>
#include <stdexcept>

#include "platform/paths.h"
#include "support/sevenzip_archive.h"

namespace nurv {

namespace {

// SSL1 and SSL2 are one stage: both rows show the same texts.
constexpr std::string_view kSslHeading = "Обновление SSL библиотек...";
constexpr std::string_view kSslStageLine = " -> Выгрузка SSL библиотек";
constexpr std::string_view kSslStatus = "Выгрузка SSL библиотек...";

using F = FolderKind;
using M = ModuleForm;
using R = UpdateRule;
using O = StageOwner;

std::array<ModuleEntry, 14> BuildCatalogue() {
  return {{
      {"7z", SevenZipLibraryName(), F::Temp, "", "", M::Plain, R::DateWhenMissing, O::Dispatcher,
       "Обновление библиотеки 7z...", " -> Выгрузка библиотеки 7z", "Выгрузка библиотеки 7z...",
       false},
      {"LDR", "NurvLoader.exe", F::Update, "", "", M::Archive, R::Version, O::Dispatcher,
       "Обновление загрузчика...", " -> Выгрузка загрузчика", "Выгрузка загрузчика...", false},
      {"PRG", "nurv.exe", F::Program, "", "", M::Archive, R::Version, O::Dispatcher,
       "Обновление исполняемого модуля...", " -> Выгрузка исполняемого модуля",
       "Выгрузка исполняемого модуля...", false},
      {"SSL1", "libeay32.dll", F::Program, "", "", M::Archive, R::Version, O::Dispatcher,
       kSslHeading, kSslStageLine, kSslStatus, false},
      {"SSL2", "ssleay32.dll", F::Program, "", "", M::Archive, R::Version, O::SharedStage,
       kSslHeading, kSslStageLine, kSslStatus, false},
      {"BAT", "nurvrun.bat", F::Program, "", "", M::Plain, R::Date, O::Dispatcher,
       "Обновление BAT файла...", " -> Выгрузка BAT файла", "Выгрузка BAT файла...", false},
      {"CHM", "HelpNurv.chm", F::Help, "", "", M::Plain, R::Date, O::Dispatcher,
       "Обновление файла помощи...", " -> Выгрузка файла помощи", "Выгрузка файла помощи...",
       false},
      {"PDF", "HelpNurv.pdf", F::Help, "", "", M::Archive, R::Date, O::Dispatcher,
       "Обновление файла помощи в формате Acrobat Reader...",
       " -> Выгрузка файла помощи в формате Acrobat Reader",
       "Выгрузка файла помощи в формате Acrobat Reader...", false},
      {"CXP", "", F::Program, "", "", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление библиотек браузера...", " -> Выгрузка библиотек браузера",
       "Выгрузка библиотек браузера...", true},
      {"LXP", "", F::Program, "locales", "", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление локализации браузера...", " -> Выгрузка локализации браузера",
       "Выгрузка локализации браузера...", true},
      {"SWI", "", F::Program, "swiftshader", "", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление библиотек визуализация ...", " -> Выгрузка библиотек визуализация",
       "Выгрузка библиотек визуализация...", true},
      {"EXP", "NurvExplorer.exe", F::Program, "", "", M::Plain, R::Date, O::MainSequence,
       "Обновление эксплорера...", " -> Выгрузка эксплорера", "Выгрузка эксплорера...", false},
      {"DOC", "", F::Templates, "", ".doc", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление шаблонов бланков...", " -> Выгрузка шаблонов бланков",
       "Выгрузка шаблонов бланков...", false},
      {"XLS", "", F::Templates, "", "", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление шаблонов форм сбора данных...", " -> Выгрузка шаблонов форм сбора данных",
       "Выгрузка шаблонов форм сбора данных...", false},
  }};
}

}  // namespace

std::span<const ModuleEntry> ModuleCatalogue() {
  static const std::array<ModuleEntry, 14> catalogue = BuildCatalogue();
  return catalogue;
}

const ModuleEntry& ModuleByCode(std::string_view code) {
  for (const ModuleEntry& entry : ModuleCatalogue())
    if (entry.code == code) return entry;
  throw std::out_of_range("unknown module code: " + std::string(code));
}

std::span<const ModuleEntry> StageModules(const ModuleEntry& first) {
  const std::span<const ModuleEntry> catalogue = ModuleCatalogue();
  for (auto begin = catalogue.begin(); begin != catalogue.end(); ++begin) {
    if (&*begin != &first) continue;
    auto end = begin + 1;
    while (end != catalogue.end() && end->owner == StageOwner::SharedStage) ++end;
    return {begin, end};
  }
  return {&first, 1};
}

std::string ModuleFolderPrefix(const ModuleEntry& entry, const SettingsRecord& settings) {
  std::string prefix;
  switch (entry.folder) {
    case FolderKind::Program:
      prefix = settings.PathProgram;
      break;
    case FolderKind::Update:
      prefix = settings.PathUpdate + platform::kPathDelim;
      break;
    case FolderKind::Help:
      prefix = settings.PathHelp + platform::kPathDelim;
      break;
    case FolderKind::Templates:
      prefix = settings.PathShablon + platform::kPathDelim;
      break;
    case FolderKind::Temp:
      prefix = settings.PathTemp + platform::kPathDelim;
      break;
  }
  if (!entry.sub_folder.empty()) {
    prefix += entry.sub_folder;
    prefix += platform::kPathDelim;
  }
  return prefix;
}

std::string ModulePath(const ModuleEntry& entry, const SettingsRecord& settings) {
  return ModuleFolderPrefix(entry, settings) + std::string(entry.file_name);
}

}  // namespace nurv
