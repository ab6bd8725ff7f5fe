// The settings store against the POSIX registry file (Windows has the real registry), with the
// lines the main sequence logs from what each operation returns.
#ifndef _WIN32
#include "settings/registry_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/temp_dir.h"
#include "loader/prepare_texts.h"
#include "platform/posix/reg_file.h"
#include "platform/posix/reg_file_registry.h"
#include "platform/system_info.h"
#include "settings/registry_layout.h"

namespace nurv {
namespace {

using platform::RegType;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;
namespace layout = reglayout;

using Log = std::vector<std::string>;

const char* const kWriteOk = "Запись в реестр файла инициализации - OK";
const char* const kReadOk = "Считывание реестра  - OK";

class RegistrySettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(loader_dir_); }

  // A fresh registry object, as the next run of the loader opens it.
  std::unique_ptr<platform::Registry> Registry() { return platform::OpenRegistryFile(store_); }

  std::optional<platform::RegValue> Stored(std::string_view key, std::string_view name) {
    auto opened = Registry()->Open(key);
    return opened ? opened->Query(name) : std::nullopt;
  }

  void SetStored(std::string_view name, std::uint32_t number) {
    Registry()->Create(layout::kNurvKey)->SetDword(name, number);
  }

  // Keys and values as a completed first run leaves them (written directly: fast to set up).
  void PrepareSettledStore() {
    fs::create_directories(dir_.Sub("cfg/nurv"));
    WriteFile(store_,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\n"
              "\"Region\"=dword:0000022a\n"
              "\"Region2\"=dword:00000002\n"
              "\"PathProgram\"=\"/c/Bin\"\n"
              "\"PathUpdate\"=\"/c/Update\"\n"
              "\"PathHelp\"=\"/c/Help\"\n"
              "\"PathShablon\"=\"/c/Shablon\"\n"
              "\"PathReport\"=\"/c/Report\"\n"
              "\"ShowWordProces\"=dword:00000001\n"
              "\"ThemeXP\"=dword:00000001\n"
              "\"RefreshRepl\"=dword:0000000a\n"
              "\"LastUser\"=\"\"\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\Users]\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\DataBaseCaptions]\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\DataBaseNames]\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames]\n\n");
  }

  SettingsRecord ReadBack() {
    SettingsRecord settings;
    auto registry = Registry();
    Read(*registry, settings);
    return settings;
  }

  // The operations as the main sequence runs them, each with its lines logged.
  bool Ensure(platform::Registry& registry) {
    const bool missing = EnsureRegistryKeys(registry);
    log_.push_back(RegistryKeyLine(missing));
    return missing;
  }
  void Write(platform::Registry& registry, const SettingsRecord& ini, SettingsRecord& loader) {
    for (std::string& line : RegistryWriteLines(WriteRegistrySettings(registry, ini, loader, exe_)))
      log_.push_back(std::move(line));
  }
  void Read(platform::Registry& registry, SettingsRecord& settings) {
    for (std::string& line :
         RegistryReadLines(ReadRegistrySettings(registry, settings, loader_dir_, exe_)))
      log_.push_back(std::move(line));
  }

  bool Logged(const std::string& line) const {
    return std::find(log_.begin(), log_.end(), line) != log_.end();
  }

  TempDir dir_;
  std::string store_ = dir_.Sub("cfg/nurv/registry.reg");
  std::string loader_dir_ = dir_.Sub("Complex/Bin/");
  std::string exe_ = loader_dir_ + "NurvLoader.exe";
  std::string manifest_ = exe_ + ".manifest";
  Log log_;
};

TEST_F(RegistrySettingsTest, FirstRunWithoutKeyAndWithoutIniFile) {
  WriteFile(manifest_, "old manifest");
  auto registry = Registry();
  EXPECT_TRUE(Ensure(*registry));
  for (auto key : {layout::kNurvKey, layout::kUsersKey, layout::kDataBaseCaptionsKey,
                   layout::kDataBaseNamesKey, layout::kServerNamesKey}) {
    EXPECT_NE(Registry()->Open(key), nullptr) << key;
  }

  const SettingsRecord empty_ini;  // no nurv.ini: the record stays in its start state
  SettingsRecord loader;
  Write(*registry, empty_ini, loader);
  EXPECT_FALSE(fs::exists(manifest_));  // ThemeXP = 0 deletes it
  EXPECT_EQ(Stored(layout::kNurvKey, "ThemeXP")->number, 0u);
  EXPECT_EQ(Stored(layout::kNurvKey, "Region")->type, RegType::Dword);
  EXPECT_EQ(Stored(layout::kNurvKey, "PathUpdate")->type, RegType::Sz);
  EXPECT_EQ(Stored(layout::kNurvKey, "PathUpdate")->text, "");
  EXPECT_EQ(Stored(layout::kServerNamesKey, "ServerName51")->text, "");
  EXPECT_EQ(Stored(layout::kDataBaseNamesKey, "DataBaseName51")->text, "");
  EXPECT_EQ(Stored(layout::kDataBaseCaptionsKey, "DataBaseCaption51")->text, "");
  EXPECT_EQ(Stored(layout::kUsersKey, "User51")->text, "");
  EXPECT_EQ(loader.PathProgram, loader_dir_);

  SettingsRecord read;
  Read(*Registry(), read);
  EXPECT_EQ(read.PathUpdate, "");
  EXPECT_EQ(read.PathHelp, "");
  EXPECT_EQ(read.PathShablon, "");
  EXPECT_EQ(read.PathReport, "");
  EXPECT_EQ(read.Region, 0);
  EXPECT_EQ(read.Region2, 0);
  EXPECT_EQ(read.RefreshRepl, 0);
  EXPECT_FALSE(read.ThemeXP);
  EXPECT_FALSE(read.ShowWordProces);
  EXPECT_EQ(read.PathProgram, loader_dir_);
  EXPECT_EQ(read.PathTemp, platform::UserTempFolder());
  EXPECT_EQ(log_, (Log{"Наличие записи в реестре - Отсутствует", kWriteOk, kReadOk}));

  // The next run finds the key.
  log_.clear();
  EXPECT_FALSE(Ensure(*Registry()));
  EXPECT_EQ(log_, (Log{"Наличие записи НУРВ в реестре - OK"}));
}

TEST_F(RegistrySettingsTest, MissingSubKeysAreAddedBesideForeignValues) {
  fs::create_directories(dir_.Sub("cfg/nurv"));
  WriteFile(store_,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\n\"Other\"=hex(7):61,00,00,00,00,00\n\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames]\n\"ServerName3\"=\"s3\"\n\n");
  EXPECT_FALSE(Ensure(*Registry()));
  EXPECT_NE(Registry()->Open(layout::kUsersKey), nullptr);
  EXPECT_EQ(Stored(layout::kServerNamesKey, "ServerName3")->text, "s3");
  EXPECT_EQ(Stored(layout::kNurvKey, "Other")->type, RegType::MultiSz);
}

TEST_F(RegistrySettingsTest, KeyThatCannotBeCreatedRaises) {
  WriteFile(dir_.Sub("cfg"), "a file where the folder should be");
  EXPECT_THROW(Ensure(*Registry()), platform::RegistryError);
  EXPECT_TRUE(log_.empty());
}

TEST_F(RegistrySettingsTest, WritesEveryValueAndTakesItIntoTheSettingsInForce) {
  auto registry = Registry();
  Ensure(*registry);
  log_.clear();
  SettingsRecord ini;
  ini.PathProgram = "/elsewhere/Bin";
  ini.PathUpdate = "/c/Update";
  ini.PathHelp = "/c/Help";
  ini.PathShablon = "/c/Shablon";
  ini.PathReport = "/c/Report";
  ini.User = "Петров";
  ini.DataBase = "Complex";
  ini.Server = "sqlite:/c/db.sqlite";
  ini.Caption = "Основная";
  ini.ShowWordProces = true;
  ini.ThemeXP = true;
  ini.Region = 4464;
  ini.Region2 = 65535;
  ini.RefreshRepl = 10;
  SettingsRecord loader;
  loader.Password = "kept";
  Write(*registry, ini, loader);
  EXPECT_EQ(log_, (Log{kWriteOk}));
  EXPECT_TRUE(fs::exists(manifest_));

  EXPECT_EQ(Stored(layout::kNurvKey, "Region")->number, 4464u);
  EXPECT_EQ(Stored(layout::kNurvKey, "Region2")->number, 65535u);  // zero-extended
  EXPECT_EQ(Stored(layout::kNurvKey, "PathProgram")->text, "/elsewhere/Bin");
  EXPECT_EQ(Stored(layout::kNurvKey, "PathReport")->text, "/c/Report");
  EXPECT_EQ(Stored(layout::kNurvKey, "ShowWordProces")->number, 1u);
  EXPECT_EQ(Stored(layout::kNurvKey, "ThemeXP")->number, 1u);
  EXPECT_EQ(Stored(layout::kNurvKey, "RefreshRepl")->number, 10u);
  EXPECT_EQ(Stored(layout::kNurvKey, "LastUser")->text, "Петров");
  EXPECT_EQ(Stored(layout::kDataBaseCaptionsKey, "DataBaseCaption51")->text, "Основная");
  EXPECT_EQ(Stored(layout::kDataBaseNamesKey, "DataBaseName51")->text, "Complex");
  EXPECT_EQ(Stored(layout::kServerNamesKey, "ServerName51")->text, "sqlite:/c/db.sqlite");
  EXPECT_EQ(Stored(layout::kUsersKey, "User51")->text, "Петров");

  SettingsRecord expected = ini;
  expected.PathProgram = loader_dir_;  // the loader's own folder, not the file's value
  expected.Password = "kept";
  EXPECT_EQ(loader.PathProgram, expected.PathProgram);
  EXPECT_EQ(loader.PathUpdate, expected.PathUpdate);
  EXPECT_EQ(loader.User, expected.User);
  EXPECT_EQ(loader.Server, expected.Server);
  EXPECT_EQ(loader.DataBase, expected.DataBase);
  EXPECT_EQ(loader.Caption, expected.Caption);
  EXPECT_EQ(loader.Region2, expected.Region2);
  EXPECT_EQ(loader.Password, "kept");
  EXPECT_TRUE(loader.ThemeXP);
}

TEST_F(RegistrySettingsTest, UnitsOfAKeyThatDoesNotOpenAreSkippedSilently) {
  Registry()->Create(layout::kNurvKey);  // no sub-keys
  SettingsRecord ini;
  ini.Server = "srv";
  ini.Region = 7;
  SettingsRecord loader;
  loader.Server = "before";
  Write(*Registry(), ini, loader);
  EXPECT_EQ(log_, (Log{kWriteOk}));
  EXPECT_EQ(loader.Server, "before");
  EXPECT_EQ(loader.Region, 7);
  EXPECT_EQ(Registry()->Open(layout::kServerNamesKey), nullptr);
}

TEST_F(RegistrySettingsTest, EveryFailedWriteIsLoggedAndTheRestGoOn) {
  PrepareSettledStore();
  WriteFile(manifest_, "manifest");
  // The store stays readable but refuses every write.
  fs::remove(store_ + ".lock");
  fs::create_directory(store_ + ".lock");
  SettingsRecord ini;
  ini.ThemeXP = false;
  ini.Server = "new";
  SettingsRecord loader;
  loader.Server = "old";
  Write(*Registry(), ini, loader);
  EXPECT_EQ(log_, (Log{
                      "Запись территориальной привязки (1) - ОШИБКА",
                      "Запись территориальной привязки (2) - ОШИБКА",
                      "Запись пути программы - ОШИБКА",
                      "Запись пути обновлений - ОШИБКА",
                      "Запись пути файла справки - ОШИБКА",
                      "Запись пути шаблона - ОШИБКА",
                      "Запись пути бланка - ОШИБКА",
                      "Запись процесса формирования бланка - ОШИБКА",
                      "Запись слиля Windows - ОШИБКА",
                      "Запись времени обновления отображаемой информации - ОШИБКА",
                      "Запись последнего пользователя - ОШИБКА",
                      "Запись описания БД - ОШИБКА",
                      "Запись имени БД - ОШИБКА",
                      "Запись имени сервера - ОШИБКА",
                      "Запись имени пользователя - ОШИБКА",
                  }));
  EXPECT_EQ(loader.Server, "old");
  EXPECT_EQ(loader.PathProgram, "");
  EXPECT_TRUE(fs::exists(manifest_));  // the failed ThemeXP unit does not touch it
  EXPECT_EQ(Stored(layout::kNurvKey, "Region")->number, 554u);
}

TEST_F(RegistrySettingsTest, SettledStoreReadsBackWithoutErrors) {
  PrepareSettledStore();
  Registry()->Open(layout::kNurvKey)->SetDword("Region", 70000);
  const SettingsRecord s = ReadBack();
  EXPECT_EQ(log_, (Log{kReadOk}));
  EXPECT_EQ(s.Region, 4464);
  EXPECT_EQ(s.Region2, 2);
  EXPECT_EQ(s.PathUpdate, "/c/Update");
  EXPECT_EQ(s.PathHelp, "/c/Help");
  EXPECT_EQ(s.PathShablon, "/c/Shablon");
  EXPECT_EQ(s.PathReport, "/c/Report");
  EXPECT_TRUE(s.ShowWordProces);
  EXPECT_TRUE(s.ThemeXP);
  EXPECT_EQ(s.RefreshRepl, 10);
  EXPECT_EQ(s.PathProgram, loader_dir_);
}

TEST_F(RegistrySettingsTest, MissingRegionsAreRepairedWithoutALogLine) {
  PrepareSettledStore();
  Registry()->Open(layout::kNurvKey)->DeleteValue("Region");
  Registry()->Open(layout::kNurvKey)->SetString("Region2", "2");  // wrong type
  SettingsRecord s;
  s.Region = 123;
  s.Region2 = 456;
  Read(*Registry(), s);
  EXPECT_EQ(log_, (Log{kReadOk}));
  EXPECT_EQ(s.Region, 123);
  EXPECT_EQ(s.Region2, 456);
  EXPECT_EQ(Stored(layout::kNurvKey, "Region")->number, 550u);
  EXPECT_EQ(Stored(layout::kNurvKey, "Region2")->number, 1u);
  EXPECT_EQ(ReadBack().Region, 550);  // the next run reads the repaired value
}

TEST_F(RegistrySettingsTest, MissingThemeIsRepairedWithManifest) {
  PrepareSettledStore();
  Registry()->Open(layout::kNurvKey)->DeleteValue("ThemeXP");
  fs::remove(manifest_);
  const SettingsRecord s = ReadBack();
  EXPECT_TRUE(s.ThemeXP);
  EXPECT_EQ(Stored(layout::kNurvKey, "ThemeXP")->number, 1u);
  EXPECT_TRUE(fs::exists(manifest_));
  EXPECT_EQ(log_, (Log{"Считывание стиля Windows - ОШИБКА"}));
}

TEST_F(RegistrySettingsTest, BooleansAreTrueOnlyForOne) {
  PrepareSettledStore();
  SetStored("ShowWordProces", 2);
  SetStored("ThemeXP", 0);
  const SettingsRecord s = ReadBack();
  EXPECT_FALSE(s.ShowWordProces);
  EXPECT_FALSE(s.ThemeXP);
  EXPECT_EQ(log_, (Log{kReadOk}));
}

TEST_F(RegistrySettingsTest, ValueErrorsLogTheirLinesAndWithholdTheOkLine) {
  PrepareSettledStore();
  auto key = Registry()->Open(layout::kNurvKey);
  key->DeleteValue("ShowWordProces");
  key->DeleteValue("RefreshRepl");
  key->SetDword("PathHelp", 1);
  key->SetDword("PathShablon", 1);
  key->SetDword("PathReport", 1);
  SettingsRecord s;
  s.ShowWordProces = true;
  s.RefreshRepl = 77;
  s.PathHelp = "unchanged";
  Read(*Registry(), s);
  EXPECT_EQ(log_, (Log{
                      "Считывание пути файла справки - ОШИБКА",
                      "Считывание пути шаблона - ОШИБКА",
                      "Считывание пути бланка - ОШИБКА",
                      "Считывание процесса формирования бланка - ОШИБКА",
                      "Считывание времени обновления отображаемой информации - ОШИБКА",
                  }));
  EXPECT_FALSE(s.ShowWordProces);
  EXPECT_EQ(s.RefreshRepl, 77);
  EXPECT_EQ(s.PathHelp, "unchanged");
  EXPECT_EQ(Stored(layout::kNurvKey, "RefreshRepl")->number, 5u);
  EXPECT_FALSE(Stored(layout::kNurvKey, "ShowWordProces"));  // not repaired
}

TEST_F(RegistrySettingsTest, FailedUpdateFolderReadDoesNotWithholdTheOkLine) {
  PrepareSettledStore();
  Registry()->Open(layout::kNurvKey)->SetDword("PathUpdate", 9);
  const SettingsRecord s = ReadBack();
  EXPECT_EQ(log_, (Log{"Считывание пути обновлений - ОШИБКА", kReadOk}));
  EXPECT_EQ(s.PathUpdate, "");
}

TEST_F(RegistrySettingsTest, TextsOfOtherStringTypesAndMissingTextsRead) {
  PrepareSettledStore();
  fs::create_directories(dir_.Sub("cfg/nurv"));
  std::string store = ReadFile(store_);
  // PathHelp as REG_EXPAND_SZ ("/h"), PathReport absent.
  const std::string help_line = "\"PathHelp\"=\"/c/Help\"\n";
  store.replace(store.find(help_line), help_line.size(), "\"PathHelp\"=hex(2):2f,00,68,00,00,00\n");
  const std::string report_line = "\"PathReport\"=\"/c/Report\"\n";
  store.erase(store.find(report_line), report_line.size());
  WriteFile(store_, store);
  const SettingsRecord s = ReadBack();
  EXPECT_EQ(s.PathHelp, "/h");
  EXPECT_EQ(s.PathReport, "");
  EXPECT_EQ(log_, (Log{kReadOk}));
}

TEST_F(RegistrySettingsTest, ReadingWithoutTheKeyOrWithUnwritableStoreNeverRaises) {
  // No key at all: every unit is skipped, the folders are still the loader's.
  SettingsRecord s;
  Read(*Registry(), s);
  EXPECT_EQ(log_, (Log{kReadOk}));
  EXPECT_EQ(s.PathProgram, loader_dir_);
  EXPECT_FALSE(s.PathTemp.empty());

  // Repairs that cannot be written are left to the next run.
  log_.clear();
  PrepareSettledStore();
  Registry()->Open(layout::kNurvKey)->DeleteValue("Region");
  Registry()->Open(layout::kNurvKey)->DeleteValue("RefreshRepl");
  fs::remove(store_ + ".lock");
  fs::create_directory(store_ + ".lock");
  const SettingsRecord t = ReadBack();
  EXPECT_EQ(log_, (Log{"Считывание времени обновления отображаемой информации - ОШИБКА"}));
  EXPECT_FALSE(Stored(layout::kNurvKey, "Region"));
  EXPECT_EQ(t.Region2, 2);
}

TEST_F(RegistrySettingsTest, UnusableTemporaryFolderIsLogged) {
  PrepareSettledStore();
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  const std::string tmp = dir_.Sub("tmp");
  fs::create_directories(tmp);
  // A link in place of the private folder is refused.
  fs::create_directory_symlink(dir_.path(), tmp + "/nurv-" + std::to_string(::getuid()));
  ::setenv("TMPDIR", tmp.c_str(), 1);
  const SettingsRecord s = ReadBack();
  if (old) {
    ::setenv("TMPDIR", saved.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  EXPECT_EQ(log_, (Log{"Считывание пути программы - ОШИБКА"}));
  EXPECT_EQ(s.PathProgram, loader_dir_);
  EXPECT_EQ(s.PathTemp, "");
}

}  // namespace
}  // namespace nurv

#endif  // _WIN32
