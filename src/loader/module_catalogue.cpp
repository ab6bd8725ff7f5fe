#include "loader/module_catalogue.h"

#include <array>
#include <stdexcept>

#include "loader/update_archived.h"
#include "loader/update_groups.h"
#include "loader/update_plain.h"
#include "platform/paths.h"
#include "support/sevenzip_archive.h"

namespace nurv {

namespace {

// SSL1 and SSL2 are one stage: both rows show the same texts.
constexpr std::string_view kSslHeading = "Обновление SSL библиотек...";
constexpr std::string_view kSslStageLine = " -> Выгрузка SSL библиотек";
constexpr std::string_view kSslStatus = "Выгрузка SSL библиотек...";

void RunBrowserLibraries(UpdateContext& ctx, std::int16_t& StageResult) {
  UpdateFileGroup(ctx, "CXP", StageResult);
}
void RunBrowserLocales(UpdateContext& ctx, std::int16_t& StageResult) {
  UpdateFileGroup(ctx, "LXP", StageResult);
}
void RunRenderingLibraries(UpdateContext& ctx, std::int16_t& StageResult) {
  UpdateFileGroup(ctx, "SWI", StageResult);
}

using F = FolderKind;
using M = ModuleForm;
using R = UpdateRule;
using O = StageOwner;

std::array<ModuleEntry, 14> BuildCatalogue() {
  return {{
      {"7z", SevenZipLibraryName(), F::Temp, "", "", M::Plain, R::DateWhenMissing, O::Dispatcher,
       "Обновление библиотеки 7z...", " -> Выгрузка библиотеки 7z", "Выгрузка библиотеки 7z...",
       &Update7zLibrary},
      {"LDR", "NurvLoader.exe", F::Update, "", "", M::Archive, R::Version, O::Dispatcher,
       "Обновление загрузчика...", " -> Выгрузка загрузчика", "Выгрузка загрузчика...",
       &UpdateLoaderModule},
      {"PRG", "nurv.exe", F::Program, "", "", M::Archive, R::Version, O::Dispatcher,
       "Обновление исполняемого модуля...", " -> Выгрузка исполняемого модуля",
       "Выгрузка исполняемого модуля...", &UpdateMainProgram},
      {"SSL1", "libeay32.dll", F::Program, "", "", M::Archive, R::Version, O::Dispatcher,
       kSslHeading, kSslStageLine, kSslStatus, &UpdateSslLibraries},
      {"SSL2", "ssleay32.dll", F::Program, "", "", M::Archive, R::Version, O::SharedStage,
       kSslHeading, kSslStageLine, kSslStatus, nullptr},
      {"BAT", "nurvrun.bat", F::Program, "", "", M::Plain, R::Date, O::Dispatcher,
       "Обновление BAT файла...", " -> Выгрузка BAT файла", "Выгрузка BAT файла...",
       &UpdateBatchFile},
      {"CHM", "HelpNurv.chm", F::Help, "", "", M::Plain, R::Date, O::Dispatcher,
       "Обновление файла помощи...", " -> Выгрузка файла помощи", "Выгрузка файла помощи...",
       &UpdateHelpChm},
      {"PDF", "HelpNurv.pdf", F::Help, "", "", M::Archive, R::Date, O::Dispatcher,
       "Обновление файла помощи в формате Acrobat Reader...",
       " -> Выгрузка файла помощи в формате Acrobat Reader",
       "Выгрузка файла помощи в формате Acrobat Reader...", &UpdateHelpPdf},
      {"CXP", "", F::Program, "", "", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление библиотек браузера...", " -> Выгрузка библиотек браузера",
       "Выгрузка библиотек браузера...", &RunBrowserLibraries},
      {"LXP", "", F::Program, "locales", "", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление локализации браузера...", " -> Выгрузка локализации браузера",
       "Выгрузка локализации браузера...", &RunBrowserLocales},
      {"SWI", "", F::Program, "swiftshader", "", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление библиотек визуализация ...", " -> Выгрузка библиотек визуализация",
       "Выгрузка библиотек визуализация...", &RunRenderingLibraries},
      {"EXP", "NurvExplorer.exe", F::Program, "", "", M::Plain, R::Date, O::MainSequence,
       "Обновление эксплорера...", " -> Выгрузка эксплорера", "Выгрузка эксплорера...",
       &UpdateExplorer},
      {"DOC", "", F::Templates, "", ".doc", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление шаблонов бланков...", " -> Выгрузка шаблонов бланков",
       "Выгрузка шаблонов бланков...", &UpdateBlankTemplates},
      {"XLS", "", F::Templates, "", "", M::Group, R::DatePerRow, O::MainSequence,
       "Обновление шаблонов форм сбора данных...", " -> Выгрузка шаблонов форм сбора данных",
       "Выгрузка шаблонов форм сбора данных...", &UpdateFormTemplates},
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

std::string ModuleFolderPrefix(const ModuleEntry& entry, const TRecordRegistry& settings) {
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

std::string ModulePath(const ModuleEntry& entry, const TRecordRegistry& settings) {
  return ModuleFolderPrefix(entry, settings) + std::string(entry.file_name);
}

}  // namespace nurv
