// The loader's runs end to end, on Linux and, up to the mark below, with the Windows build under
// Wine.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "e2e_fixture.h"
#include "support/product_version.h"

namespace nurv::testing {
namespace {

constexpr char kRowTime[] = "2024-03-01 10:00:00";

// The six stages of the main sequence when none has anything to write.
Lines GroupStagesNotRequired() {
  Lines lines;
  const std::pair<const char*, const char*> stages[] = {
      {"Обновление библиотек браузера...", " -> Выгрузка библиотек браузера"},
      {"Обновление локализации браузера...", " -> Выгрузка локализации браузера"},
      {"Обновление библиотек визуализация ...", " -> Выгрузка библиотек визуализация"},
      {"Обновление эксплорера...", " -> Выгрузка эксплорера"},
      {"Обновление шаблонов бланков...", " -> Выгрузка шаблонов бланков"},
      {"Обновление шаблонов форм сбора данных...", " -> Выгрузка шаблонов форм сбора данных"},
  };
  for (const auto& [heading, line] : stages) {
    lines.insert(lines.end(), {"", heading, std::string(line) + " - НЕ ТРЕБУЕТСЯ"});
  }
  return lines;
}

Lines SuccessEnd() {
  return {"",     "Запуск НУРВ-Комплекс...",
          "OK",   "",
          kStars, "              Работа загрузчика завершена УСПЕШНО...",
          kStars};
}

FourPartVersion VersionOf(const std::string& path) {
  FourPartVersion version{};
  ReadFileProductVersion(path, version);
  return version;
}

std::string OsName(const Lines& out) {
  for (const std::string& line : out) {
    if (line.rfind("ОС - версия: ", 0) == 0) return line;
  }
  return {};
}

TEST_F(CliTest, FirstStartUpdatesThenSecondStartHasNothingToDo) {
  const MainPrograms& programs = MainPrograms::Get();
  UpdateRow prg = FileRow(1, "PRG", "nurv.exe", programs.NewBytes(), kRowTime);
  prg.fblob = programs.NewArchive();
  prg.version = "5.1.10.2";
  CreateUpdateDatabase(complex_.Db(), {prg, VersionRow(2, "LDR", "6.3.0.0"),
                                       FileRow(3, "BAT", "", "@echo off\r\n", kRowTime),
                                       FileRow(4, "LXP", "ru.pak", "locale", kRowTime),
                                       FileRow(5, "XLS", "Форма.xls", "form", kRowTime)});
  complex_.registry().Clear();

  const CliRun first = RunCli({"/Info", "-X"});
  EXPECT_EQ(first.status, 0) << first.err;
  const std::string bin = complex_.Bin();
  Lines expected = {
      "ИНИЦИАЛИЗАЦИЯ",
      "Файл инициализации [" + bin + "nurv.ini] - OK",
      "Наличие записи в реестре - Отсутствует",
      "Запись в реестр файла инициализации - OK",
      "Считывание реестра  - OK",
      "Заполнение таблицы серверов - OK",
      "Соединение с сервером: [" + Server() + "], БД: [demo] - OK",
      "Считывание номера доступной версии - OK",
      "Считывание номера доступной версии загрузчика- OK",
      "Установлено_ - версия: 5.1.9.2",
      "Доступно____ - версия: 5.1.10.2",
      "Установлено_загрузчик - версия: 6.3.0.0",
      "Доступно____загрузчик - версия: 6.3.0.0",
      OsName(first.out),
      "Windows XP: НЕТ",
      "",
      "ЗАГРУЗКА ОБНОВЛЕНИЯ...",
      "",
      "Обновление библиотеки 7z...",
      " -> Выгрузка библиотеки 7z - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление загрузчика...",
      " -> Выгрузка загрузчика - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление исполняемого модуля...",
      " -> Выгрузка исполняемого модуля - OK",
      "",
      "Обновление SSL библиотек...",
      " -> Выгрузка SSL библиотек - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление BAT файла...",
      " -> Выгрузка BAT файла - OK",
      "",
      "Обновление файла помощи...",
      " -> Выгрузка файла помощи - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление файла помощи в формате Acrobat Reader...",
      " -> Выгрузка файла помощи в формате Acrobat Reader - НЕ ТРЕБУЕТСЯ",
  };
  // A group stage names each file it wrote.
  Lines groups = GroupStagesNotRequired();
  groups[17] = " -> Выгрузка шаблонов форм сбора данных - OK";
  groups.insert(groups.begin() + 17, "Форма.xls");
  groups[5] = " -> Выгрузка локализации браузера - OK";
  groups.insert(groups.begin() + 5, "ru.pak");
  expected.insert(expected.end(), groups.begin(), groups.end());
  for (const std::string& line : SuccessEnd()) expected.push_back(line);
  EXPECT_EQ(first.out, expected) << Joined(first.out);
  EXPECT_NE(OsName(first.out), "ОС - версия: ");

  // Files on disk, stamped with the row's time.
  EXPECT_EQ(VersionOf(bin + "nurv.exe"), (FourPartVersion{5, 1, 10, 2}));
#ifndef _WIN32
  // The archive holds an executable; the delivered main program must stay one to be started.
  EXPECT_EQ(access((bin + "nurv.exe").c_str(), X_OK), 0)
      << "the updated nurv.exe lost the execute permission it had in its archive";
#endif
  EXPECT_EQ(ReadFile(bin + "nurvrun.bat"), "@echo off\r\n");
  EXPECT_EQ(ReadFile(bin + "locales/ru.pak"), "locale");
  EXPECT_EQ(ReadFile(complex_.Path("Shablon/Форма.xls")), "form");
  const std::optional<std::tm> local = LocalModificationTime(bin + "nurvrun.bat");
  ASSERT_TRUE(local);
  EXPECT_EQ(local->tm_year + 1900, 2024);
  EXPECT_EQ(local->tm_mon + 1, 3);
  EXPECT_EQ(local->tm_mday, 1);
  EXPECT_EQ(local->tm_hour, 10);
  EXPECT_EQ(local->tm_min, 0);

  // The registry holds connection 51 from nurv.ini.
#ifdef _WIN32
  EXPECT_EQ(complex_.RegistryText("\\ServerNames", "ServerName51"), Server());
  EXPECT_EQ(complex_.RegistryText("\\DataBaseCaptions", "DataBaseCaption51"), "Демо база");
#else
  const std::string registry = ReadFile(complex_.RegistryFile());
  EXPECT_NE(registry.find("\"ServerName51\"=\"" + Server() + "\""), std::string::npos);
  EXPECT_NE(registry.find("\"DataBaseCaption51\"=\"Демо база\""), std::string::npos);
#endif

  // The updated main program was started with the loader's arguments in lower case.
  EXPECT_EQ(AwaitLaunch(first), LaunchArgs({"/info", "-x"}));
  // Status texts and progress went to stderr, never into the log.
  EXPECT_NE(first.err.find("Проверка обновлений..."), std::string::npos);
  EXPECT_NE(first.err.find("[14/14]"), std::string::npos);

  fs::remove(bin + "nurv-launch.txt");
  const CliRun second = RunCli();
  EXPECT_EQ(second.status, 0) << second.err;
  Lines again(second.out.begin(), second.out.begin() + 15);
  Lines expected_again(expected.begin(), expected.begin() + 15);
  expected_again[2] = "Наличие записи НУРВ в реестре - OK";
  expected_again.erase(expected_again.begin() + 3);  // nothing copied from nurv.ini
  expected_again[8] = "Установлено_ - версия: 5.1.10.2";
  again.pop_back();
  EXPECT_EQ(again, expected_again);
  Lines tail(second.out.begin() + 14, second.out.end());
  Lines expected_tail = GroupStagesNotRequired();
  for (const std::string& line : SuccessEnd()) expected_tail.push_back(line);
  EXPECT_EQ(tail, expected_tail);
  EXPECT_EQ(AwaitLaunch(second), LaunchArgs());
}

TEST_F(CliTest, NotUpdateStartsWithoutReadingVersions) {
  const CliRun run = RunCli({"/NOTUPDATE"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(CountPrefix(run.out, "Считывание номера"), 0);
  EXPECT_EQ(CountPrefix(run.out, "Установлено_"), 0);
  EXPECT_EQ(CountPrefix(run.out, "Обновление"), 0);
  EXPECT_EQ(Lines(run.out.end() - 7, run.out.end()), SuccessEnd());
  EXPECT_EQ(AwaitLaunch(run), LaunchArgs({"/notupdate"}));
}

TEST_F(CliTest, FailingStageBeforeSucceedingOnesStartsNothing) {
  UpdateRow bad = FileRow(3, "DOC", "Бланк", "blank", kRowTime);
  bad.caption = std::int64_t{12345};
  AddUpdateRows(complex_.Db(), {bad, FileRow(4, "XLS", "form.xls", "form", kRowTime)});
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.out, " -> Выгрузка шаблонов бланков - ОШИБКА"));
  EXPECT_TRUE(Contains(run.out, " -> Выгрузка шаблонов форм сбора данных - OK"));
  EXPECT_EQ(Lines(run.out.end() - 4, run.out.end()),
            (Lines{"", kStars, "              Работа загрузчика завершена с ОШИБКАМИ ОБНОВЛЕНИЯ!",
                   kStars}));
  EXPECT_FALSE(fs::exists(Utf8Path(complex_.Path("Shablon/Бланк.doc"))));
  EXPECT_EQ(ReadFile(complex_.Path("Shablon/form.xls")), "form");
  EXPECT_NE(run.err.find("Обнаружены ошибки при обновлении:"), std::string::npos);
  EXPECT_FALSE(Launched());
}

// Installed under a folder whose name holds a blank, as under "Program Files".
class CliInFolderWithBlank : public CliTest {
 protected:
  CliInFolderWithBlank() : CliTest("НУРВ Комплекс") {}
};

TEST_F(CliInFolderWithBlank, MainProgramIsFoundAndStarted) {
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out.end() - 7, run.out.end()), SuccessEnd()) << Joined(run.out);
  const Lines launched = AwaitLaunch(run);
  ASSERT_GE(launched.size(), 2u);
  EXPECT_EQ(launched[0], complex_.Bin() + "nurv.exe");
  EXPECT_EQ(launched[1], "/loader");
}

// Linux only: these read or write the registry file or the Trash, or check what the loader does
// alike on every platform (its unit tests run under Wine too).
#ifndef _WIN32

TEST_F(CliTest, LoadIniCopiesTheFileAgain) {
  const CliRun first = RunCli();
  ASSERT_EQ(first.status, 0);
  // The started program writes its file on its own time; it must not land in the next run's.
  ASSERT_FALSE(AwaitLaunch(first).empty());
  fs::remove(complex_.Bin() + "nurv-launch.txt");
  complex_.WriteIni(Server(), "Demo", "Новое описание");

  const CliRun plain = RunCli();
  EXPECT_FALSE(Contains(plain.out, "Запись в реестр файла инициализации - OK"));
  EXPECT_EQ(AwaitLaunch(plain).back(), "база");
  fs::remove(complex_.Bin() + "nurv-launch.txt");

  const CliRun loadini = RunCli({"/loadini"});
  EXPECT_EQ(loadini.status, 0) << loadini.err;
  EXPECT_TRUE(Contains(loadini.out, "Запись в реестр файла инициализации - OK"));
  const Lines launched = AwaitLaunch(loadini);
  ASSERT_GE(launched.size(), 2u);
  EXPECT_EQ(Lines(launched.end() - 2, launched.end()), (Lines{"-caption=Новое", "описание"}));
  EXPECT_NE(ReadFile(complex_.RegistryFile()).find("\"DataBaseCaption51\"=\"Новое описание\""),
            std::string::npos);
}

TEST_F(CliTest, ChooserWithoutATerminalIsCancelled) {
  // /db shows the chooser even for one connection; without a terminal it counts as cancelled.
  const CliRun run = RunCli({"/db"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.out, "Выбор базы данных для подключения - ОШИБКА"));
  EXPECT_EQ(Lines(run.out.end() - 4, run.out.end()),
            (Lines{"", kStars, "              Работа загрузчика завершена ОШИБКОЙ ИНИЦИАЛИЗАЦИИ!",
                   kStars}));
  EXPECT_EQ(CountPrefix(run.out, "Соединение с сервером"), 0);
  EXPECT_FALSE(Launched());
}

TEST_F(CliTest, TwoConnectionsWithoutATerminalAreCancelled) {
  fs::create_directories(complex_.Path("config/nurv"));
  WriteFile(complex_.RegistryFile(),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\r\n\r\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames]\r\n"
            "\"ServerName1\"=\"other-server\"\r\n\"ServerName51\"=\"" +
                Server() + "\"\r\n");
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.out, "Наличие записи НУРВ в реестре - OK"));
  EXPECT_TRUE(Contains(run.out, "Выбор базы данных для подключения - ОШИБКА"));
  EXPECT_EQ(CountPrefix(run.out, "Считывание номера"), 0);
  EXPECT_FALSE(Launched());
}

TEST_F(CliTest, UnreachableServerIsAnInitialisationError) {
  const std::string server = SqliteServerName(complex_.Path("nowhere/updates.db"));
  fs::remove(complex_.RegistryFile());
  complex_.WriteIni(server);
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 1);
  const auto entry = std::find(run.out.begin(), run.out.end(),
                               "--> ОШИБКА подключения: Сервер: [" + server + "], БД: [demo]");
  ASSERT_NE(entry, run.out.end());
  EXPECT_EQ((entry + 1)->rfind("--> ТЕКСТ ОШИБКИ: \"Сеть не найдена...", 0), 0u);
  EXPECT_TRUE(Contains(run.out, "Соединение с сервером: [" + server + "], БД: [demo] - ОШИБКА"));
  EXPECT_FALSE(Launched());
}

TEST_F(CliTest, MissingMainProgramRowAndNullLoaderVersion) {
  CreateUpdateDatabase(complex_.Db(), {VersionRow(2, "LDR", std::nullopt)});
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "Считывание номера доступной версии - ОШИБКА"));
  EXPECT_TRUE(Contains(run.out, "Считывание номера доступной версии загрузчика- OK"));
  EXPECT_TRUE(Contains(run.out, "Доступно____ - версия: "));
  EXPECT_TRUE(Contains(run.out, "Доступно____загрузчик - версия: 00.00.00.00"));
  // The empty available version is never newer: no dispatcher, the six stages still run.
  EXPECT_EQ(CountPrefix(run.out, "ЗАГРУЗКА ОБНОВЛЕНИЯ"), 0);
  EXPECT_EQ(CountPrefix(run.out, " -> Выгрузка"), 6);
  EXPECT_EQ(AwaitLaunch(run), LaunchArgs());
}

TEST_F(CliTest, MissingMainProgramEndsTheRunAsFailed) {
  fs::remove(complex_.Bin() + "nurv.exe");
  CreateUpdateDatabase(complex_.Db(),
                       {VersionRow(1, "PRG", "00.00.00.00"), VersionRow(2, "LDR", "6.3.0.0")});
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_TRUE(Contains(run.out, "Установлено_ - версия: 00.00.00.00"));
  EXPECT_EQ(CountPrefix(run.out, "Обновление"), 0);
  EXPECT_EQ(
      Lines(run.out.end() - 6, run.out.end()),
      (Lines{"Запуск НУРВ-Комплекс...", "ОШИБКА - код: 2", "", kStars,
             "              Работа загрузчика завершена ОШИБКОЙ ЗАПУСКА НУРВ-Комплекс!", kStars}));
  EXPECT_NE(run.err.find("Не удалось запустить НУРВ-Комплекс:"), std::string::npos);
}

TEST_F(CliTest, OldBrowserFilesGoToTheTrash) {
  const std::string bin = complex_.Bin();
  fs::create_directories(bin + "CEF");
  WriteFile(bin + "CEF/libcef.dll", "old cef");
  WriteFile(bin + "natives_blob.bin", "x");
  WriteFile(bin + "devtools_resources.pak", "x");
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "Удаление библиотек браузера версии 5.Х ..."));
  EXPECT_EQ(ReadFile(complex_.Trash("files/CEF/libcef.dll")), "old cef");
  EXPECT_NE(ReadFile(complex_.Trash("info/CEF.trashinfo")).find("Path=" + bin + "CEF\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(bin + "natives_blob.bin"));
  EXPECT_FALSE(fs::exists(bin + "devtools_resources.pak"));
  EXPECT_FALSE(fs::exists(bin + "CEF/libcef.dll"));
  EXPECT_EQ(AwaitLaunch(run), LaunchArgs());
}

#endif  // _WIN32

}  // namespace
}  // namespace nurv::testing
