#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "common/complex_fixture.h"
#include "common/fake_ui.h"
#include "common/pe_builder.h"
#include "connection/chooser_model.h"
#include "loader/loader_app.h"
#include "nurv_version.h"
#include "platform/run_lock.h"

namespace nurv {
namespace {

namespace fs = std::filesystem;
using testing::ComplexOnDisk;
using testing::FakeUi;
using testing::ReadFile;
using testing::SqliteServerName;
using testing::UpdateRow;
using testing::WriteFile;
using Lines = std::vector<std::string>;

const std::string kStars(64, '*');
const char kOs[] = "Debian GNU/Linux 12 (bookworm)";

std::string VersionLabelOfThisBuild() {
  return std::to_string(NURV_VERSION_MAJOR) + "." + std::to_string(NURV_VERSION_MINOR) + "." +
         std::to_string(NURV_VERSION_PATCH) + "." + std::to_string(NURV_VERSION_TWEAK);
}

// Every row up to date with the installed files: the everyday start.
std::vector<UpdateRow> UpToDateRows() {
  UpdateRow prg;
  prg.vcode = 1;
  prg.tdoc = "PRG";
  prg.version = "5.1.9.2";
  UpdateRow ldr;
  ldr.vcode = 2;
  ldr.tdoc = "LDR";
  ldr.version = "6.3.0.0";
  return {prg, ldr};
}

class MainSequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(complex_.Bin() + "nurv.exe", testing::BuildPeFile({5, 1, 9, 2}, {5, 1, 9, 2}));
    WriteFile(complex_.Bin() + "NurvLoader.exe", testing::BuildPeFile({6, 3, 0, 0}, {6, 3, 0, 0}));
    testing::CreateUpdateDatabase(complex_.Db(), UpToDateRows());
    complex_.WriteIniForDb();
    // A workstation that has run before: the registry is read, never written.
    complex_.WriteRegistryForDb();
  }

  void Run(std::vector<std::string> args = {}) {
    LoaderEnvironment env;
    env.executable_path = complex_.Bin() + "NurvLoader.exe";
    env.os_product_name = os_;
    env.own_file_version = own_version_;
    env.run_lock_wait = run_lock_wait_;
    env.start_program = [this](const std::string& line) {
      started_.push_back(line);
      return start_result_;
    };
    app_ = std::make_unique<LoaderApp>(ui_, std::move(args), std::move(env));
    app_->Initialise(ScreenGeometry{1920, 1080, 1920, 1080});
    ui_.Activate();
  }

  // A registry that knows only the loader's key and connection `number` on `server`.
  void RegistryWith(int number, const std::string& server) {
    complex_.registry().Clear();
    auto registry = platform::OpenCurrentUserRegistry();
    registry->Create("\\SOFTWARE\\NURVSQL");
    registry->Create("\\SOFTWARE\\NURVSQL\\ServerNames")
        ->SetString("ServerName" + std::to_string(number), server);
  }
  bool Logged(const std::string& line) const {
    return std::find(ui_.Log().begin(), ui_.Log().end(), line) != ui_.Log().end();
  }
  long Count(const std::string& prefix) const {
    return std::count_if(ui_.Log().begin(), ui_.Log().end(),
                         [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }
  std::string Server() const { return SqliteServerName(complex_.Db()); }
  std::string ExpectedLaunch(const std::string& forwarded = " /loader") const {
    return complex_.Bin() + "nurv.exe" + forwarded + " -server=" + Server() +
           " -database=demo -caption=Демо база";
  }

  ComplexOnDisk complex_;
  FakeUi ui_;
  std::unique_ptr<LoaderApp> app_;
  std::string os_ = kOs;
  FourPartVersion own_version_{6, 3, 0, 0};
  int start_result_ = 33;
  std::optional<std::chrono::milliseconds> run_lock_wait_;
  Lines started_;
};

TEST_F(MainSequenceTest, FirstStartWithNothingToUpdateStartsTheMainProgram) {
  complex_.registry().Clear();
  Run();
  const std::string bin = complex_.Bin();
  const Lines expected = {
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
      "Доступно____ - версия: 5.1.9.2",
      "Установлено_загрузчик - версия: 6.3.0.0",
      "Доступно____загрузчик - версия: 6.3.0.0",
      std::string("ОС - версия: ") + kOs,
      "Windows XP: НЕТ",
      "",
      "Обновление библиотек браузера...",
      " -> Выгрузка библиотек браузера - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление локализации браузера...",
      " -> Выгрузка локализации браузера - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление библиотек визуализация ...",
      " -> Выгрузка библиотек визуализация - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление эксплорера...",
      " -> Выгрузка эксплорера - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление шаблонов бланков...",
      " -> Выгрузка шаблонов бланков - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление шаблонов форм сбора данных...",
      " -> Выгрузка шаблонов форм сбора данных - НЕ ТРЕБУЕТСЯ",
      "",
      "Запуск НУРВ-Комплекс...",
      "OK",
      "",
      kStars,
      "              Работа загрузчика завершена УСПЕШНО...",
      kStars,
  };
  EXPECT_EQ(ui_.Log(), expected);
  // Reading the connection list shows its status once per number read, each time processing the
  // window's messages; the only connection is then taken without the dialog.
  const Lines& statuses = ui_.statuses;
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Заполнение таблицы серверов..."), 200);
  const auto choosing =
      std::find(statuses.begin(), statuses.end(), "Выбор базы данных для подключения...");
  ASSERT_NE(choosing, statuses.end());
  EXPECT_EQ(*(choosing - 1), "Заполнение таблицы серверов...");
  EXPECT_EQ(*(choosing + 1), "Установка соединения...");
  EXPECT_EQ(started_, Lines{ExpectedLaunch()});
  EXPECT_EQ(app_->ExitStatus(), 0);
  EXPECT_EQ(ui_.VersionLabel(), VersionLabelOfThisBuild());
  ASSERT_FALSE(ui_.waits.empty());
  EXPECT_EQ(ui_.waits.front(), 500);
  EXPECT_EQ(ui_.cursor_changes.front(), true);
  EXPECT_EQ(ui_.cursor_changes.back(), false);
  EXPECT_EQ(ui_.Status(), "");
  EXPECT_FALSE(ui_.ProgressVisible());
  EXPECT_EQ(ui_.animations, 1);
  EXPECT_EQ(ui_.Height(), 100);
  EXPECT_EQ(ui_.ProgressPosition(), 6);
  // The folders of the browser groups exist for the next run.
  EXPECT_TRUE(fs::is_directory(bin + "locales") && fs::is_directory(bin + "swiftshader") &&
              fs::is_directory(bin + "CEF"));
  EXPECT_EQ(complex_.RegistryText("\\ServerNames", "ServerName51"), Server());
}

TEST_F(MainSequenceTest, LaterActivationsDoNotStartASecondRun) {
  // The chooser closing re-activates the window while the sequence runs.
  RegistryWith(7, Server());
  ui_.chooser = [this](ChooserModel& model) {
    ui_.Activate();
    app_->RunUpdate();
    model.SetCurrent(0, 2);  // connection 51 after connection 7
    return true;
  };
  Run({"/loadini"});
  ui_.Activate();
  app_->RunUpdate();
  EXPECT_EQ(ui_.chooser_shown, 1);
  EXPECT_EQ(Count("ИНИЦИАЛИЗАЦИЯ"), 1);
  EXPECT_EQ(ui_.waits, (std::vector<std::int32_t>{500}));
  EXPECT_EQ(started_.size(), 1u);
}

TEST_F(MainSequenceTest, CancelledChooserEndsWithTheInitialisationBanner) {
  // Connection 51 from nurv.ini and a second one already known: the chooser is shown.
  RegistryWith(3, "other");
  std::string status_under_dialog;
  ui_.chooser = [&](ChooserModel&) {
    status_under_dialog = ui_.Status();
    return false;
  };
  Run({"/LoadIni"});
  EXPECT_EQ(ui_.chooser_shown, 1);
  EXPECT_EQ(status_under_dialog, "Выбор базы данных для подключения...");
  const Lines& log = ui_.Log();
  const Lines tail(log.end() - 6, log.end());
  EXPECT_EQ(
      tail,
      (Lines{"Заполнение таблицы серверов - OK", "Выбор базы данных для подключения - ОШИБКА", "",
             kStars, "              Работа загрузчика завершена ОШИБКОЙ ИНИЦИАЛИЗАЦИИ!", kStars}));
  EXPECT_EQ(Count("Соединение с сервером"), 0);
  EXPECT_EQ(Count("Считывание номера"), 0);
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(app_->ExitStatus(), 1);
  EXPECT_EQ(app_->State().LaunchArgs, " -server=other -database= -caption=");
  // The log stays expanded, the bar as it was, no animation.
  EXPECT_EQ(ui_.Height(), 500);
  EXPECT_TRUE(ui_.ProgressVisible());
  EXPECT_EQ(ui_.animations, 0);
  EXPECT_EQ(ui_.Status(), "Обнаружены ошибки инициализации:");
}

TEST_F(MainSequenceTest, InfoWithFailedConnectionCollapsesAndCloses) {
  complex_.registry().Clear();
  complex_.WriteIni(SqliteServerName(complex_.Path("missing.db")));
  Run({"/info"});
  EXPECT_TRUE(Logged("Соединение с сервером: [" + SqliteServerName(complex_.Path("missing.db")) +
                     "], БД: [demo] - ОШИБКА"));
  EXPECT_EQ(ui_.Log().back(), kStars);
  EXPECT_EQ(app_->ExitStatus(), 1);
  EXPECT_EQ(ui_.Height(), 100);
  EXPECT_EQ(ui_.animations, 1);
  EXPECT_FALSE(ui_.ProgressVisible());
  EXPECT_TRUE(started_.empty());
}

TEST_F(MainSequenceTest, CatalogueThatCannotBeOpenedIsAnInitialisationError) {
  WriteFile(complex_.Db(), "");  // a database without the table
  Run();
  const auto it =
      std::find(ui_.Log().begin(), ui_.Log().end(), "--> ОШИБКА открытия набора данных...");
  ASSERT_NE(it, ui_.Log().end());
  ASSERT_NE(it + 1, ui_.Log().end());
  EXPECT_FALSE((it + 1)->empty());  // the provider's message on its own line
  EXPECT_EQ(Count("Считывание номера"), 0);
  EXPECT_EQ(app_->ExitStatus(), 1);
}

TEST_F(MainSequenceTest, NotUpdateStartsRightAfterTheAccessCheck) {
  Run({"/NotUpdate", "-X"});
  EXPECT_EQ(Count("Считывание номера"), 0);
  EXPECT_EQ(Count("Установлено_"), 0);
  EXPECT_EQ(Count("Обновление"), 0);
  EXPECT_EQ(started_, Lines{ExpectedLaunch(" /loader /notupdate -x")});
  EXPECT_EQ(app_->ExitStatus(), 0);
}

TEST_F(MainSequenceTest, AvailableVersionOfZerosSkipsEveryStage) {
  testing::UpdateRow prg;
  prg.tdoc = "PRG";
  prg.version = std::nullopt;  // NULL reads as 00.00.00.00
  testing::CreateUpdateDatabase(complex_.Db(), {prg, UpToDateRows()[1]});
  Run();
  EXPECT_TRUE(Logged("Доступно____ - версия: 00.00.00.00"));
  EXPECT_EQ(Count("Обновление"), 0);
  EXPECT_EQ(started_.size(), 1u);
  EXPECT_EQ(app_->ExitStatus(), 0);
}

TEST_F(MainSequenceTest, MissingMainProgramRowStillReachesTheSummary) {
  // No PRG row, a NULL LDR version: the empty available version is never newer.
  testing::UpdateRow ldr = UpToDateRows()[1];
  ldr.version = std::nullopt;
  testing::CreateUpdateDatabase(complex_.Db(), {ldr});
  fs::remove(complex_.Bin() + "nurv.exe");
  Run();
  EXPECT_TRUE(Logged("Считывание номера доступной версии - ОШИБКА"));
  EXPECT_TRUE(Logged("Считывание номера доступной версии загрузчика- OK"));
  EXPECT_TRUE(Logged("Установлено_ - версия: 00.00.00.00"));
  EXPECT_TRUE(Logged("Доступно____ - версия: "));
  EXPECT_TRUE(Logged("Доступно____загрузчик - версия: 00.00.00.00"));
  EXPECT_EQ(Count("ЗАГРУЗКА ОБНОВЛЕНИЯ"), 0);
  EXPECT_EQ(Count(" -> Выгрузка"), 6);
  EXPECT_EQ(started_.size(), 1u);
  // The wait cursor was taken back after the failed query.
  EXPECT_EQ(ui_.cursor_changes.back(), false);
  EXPECT_EQ(std::count(ui_.cursor_changes.begin(), ui_.cursor_changes.end(), true),
            std::count(ui_.cursor_changes.begin(), ui_.cursor_changes.end(), false));
}

TEST_F(MainSequenceTest, WindowsXPGetsNoBrowserStages) {
  os_ = "Microsoft Windows XP Professional";
  fs::create_directories(complex_.Bin() + "CEF");
  WriteFile(complex_.Bin() + "natives_blob.bin", "old");
  Run();
  EXPECT_TRUE(Logged("Windows XP: ДА"));
  EXPECT_TRUE(Logged(" -> Выгрузка библиотек браузера - НЕДОСТУПНО для Windows XP"));
  EXPECT_EQ(Count("Обновление библиотек браузера"), 0);
  EXPECT_EQ(Count(" -> Выгрузка"), 4);
  EXPECT_FALSE(fs::exists(complex_.Bin() + "locales"));
  EXPECT_TRUE(fs::exists(complex_.Bin() + "natives_blob.bin"));
  EXPECT_EQ(ui_.ProgressPosition(), 6);
  const auto xp = std::find(ui_.Log().begin(), ui_.Log().end(),
                            " -> Выгрузка библиотек браузера - НЕДОСТУПНО для Windows XP");
  EXPECT_EQ(*(xp - 1), "Windows XP: ДА");
  EXPECT_EQ(*(xp + 2), "Обновление эксплорера...");
}

TEST_F(MainSequenceTest, OldBrowserFilesGoForALoaderOfVersion6) {
  const std::string bin = complex_.Bin();
  fs::create_directories(bin + "CEF/sub");
  WriteFile(bin + "CEF/sub/libcef.dll", "cef");
  WriteFile(bin + "natives_blob.bin", "x");
  WriteFile(bin + "cef.pak", "x");
  WriteFile(bin + "wow_helper.exe", "x");
  WriteFile(bin + "keep.dll", "x");
  chmod((bin + "cef.pak").c_str(), 0444);
  Run();
  const auto heading =
      std::find(ui_.Log().begin(), ui_.Log().end(), "Удаление библиотек браузера версии 5.Х ...");
  ASSERT_NE(heading, ui_.Log().end());
  EXPECT_EQ(*(heading - 1), "");
  EXPECT_EQ(*(heading + 1), "Установлено_ - версия: 5.1.9.2");
#ifndef _WIN32
  // The POSIX recycle bin is the user's Trash folder, which the complex keeps in the test's folder.
  EXPECT_EQ(ReadFile(complex_.Trash("files/CEF/sub/libcef.dll")), "cef");
  EXPECT_TRUE(fs::exists(complex_.Trash("info/CEF.trashinfo")));
#endif
  for (const char* gone : {"natives_blob.bin", "cef.pak", "wow_helper.exe", "CEF/sub"}) {
    EXPECT_FALSE(fs::exists(bin + gone)) << gone;
  }
  EXPECT_TRUE(fs::exists(bin + "keep.dll"));
  EXPECT_EQ(started_.size(), 1u);
}

TEST_F(MainSequenceTest, OldBrowserFilesStayForALoaderOfVersion7) {
  own_version_ = {7, 0, 0, 0};
  WriteFile(complex_.Bin() + "cef_100_percent.pak", "x");
  Run();
  EXPECT_EQ(Count("Удаление библиотек"), 0);
  EXPECT_TRUE(fs::exists(complex_.Bin() + "cef_100_percent.pak"));
}

TEST_F(MainSequenceTest, FailingStageBeforeSucceedingOnesMarksTheRun) {
  UpdateRow doc;
  doc.vcode = 10;
  doc.tdoc = "DOC";
  doc.name = "blank";
  doc.caption = std::int64_t{testing::Crc32Of("other bytes")};
  doc.updatedate = "2024-03-01 10:00:00";
  doc.fblob = "doc bytes";
  UpdateRow xls;
  xls.vcode = 11;
  xls.tdoc = "XLS";
  xls.name = "form.xls";
  xls.caption = std::int64_t{testing::Crc32Of("xls bytes")};
  xls.updatedate = "2024-03-01 10:00:00";
  xls.fblob = "xls bytes";
  testing::AddUpdateRows(complex_.Db(), {doc, xls});
  Run();
  EXPECT_TRUE(Logged(" -> Выгрузка шаблонов бланков - ОШИБКА"));
  EXPECT_TRUE(Logged(" -> Выгрузка шаблонов форм сбора данных - OK"));
  EXPECT_EQ(ReadFile(complex_.Path("Shablon/form.xls")), "xls bytes");
  EXPECT_FALSE(fs::exists(complex_.Path("Shablon/blank.doc")));
  const Lines& log = ui_.Log();
  EXPECT_EQ(
      Lines(log.end() - 3, log.end()),
      (Lines{kStars, "              Работа загрузчика завершена с ОШИБКАМИ ОБНОВЛЕНИЯ!", kStars}));
  EXPECT_EQ(Count("Запуск НУРВ-Комплекс"), 0);
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(app_->ExitStatus(), 2);
  EXPECT_EQ(ui_.Status(), "Обнаружены ошибки при обновлении:");
  EXPECT_EQ(ui_.Height(), 500);
}

TEST_F(MainSequenceTest, ErrorEscapingAStageStartsNothing) {
  // A newer loader waits in the update folder: the dispatcher runs and finds it current.
  WriteFile(complex_.Path("Update/NurvLoader.exe"),
            testing::BuildPeFile({6, 4, 0, 0}, {6, 4, 0, 0}));
  std::vector<UpdateRow> rows = UpToDateRows();
  rows[1].version = "6.4.0.0";
  UpdateRow pdf;
  pdf.vcode = 3;
  pdf.tdoc = "PDF";
  pdf.fblob = "not read";  // its NULL updatedate cannot be decided
  rows.push_back(pdf);
  testing::CreateUpdateDatabase(complex_.Db(), rows);
  Run();
  const auto pdf_line = std::find(ui_.Log().begin(), ui_.Log().end(),
                                  " -> Выгрузка файла помощи в формате Acrobat Reader - ОШИБКА");
  ASSERT_NE(pdf_line, ui_.Log().end());
  EXPECT_EQ((pdf_line + 1)->front(), '[');
  EXPECT_TRUE(Logged("              Работа загрузчика завершена с ОШИБКАМИ ОБНОВЛЕНИЯ!"));
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(app_->ExitStatus(), 2);
  EXPECT_EQ(ui_.Height(), 500);
}

TEST_F(MainSequenceTest, FailedStartEndsTheRunAsFailed) {
  start_result_ = 2;
  Run();
  const Lines& log = ui_.Log();
  EXPECT_EQ(
      Lines(log.end() - 6, log.end()),
      (Lines{"Запуск НУРВ-Комплекс...", "ОШИБКА - код: 2", "", kStars,
             "              Работа загрузчика завершена ОШИБКОЙ ЗАПУСКА НУРВ-Комплекс!", kStars}));
  EXPECT_EQ(Count("              Работа загрузчика завершена УСПЕШНО"), 0);
  EXPECT_EQ(app_->ExitStatus(), 4);
  EXPECT_EQ(ui_.Status(), "Не удалось запустить НУРВ-Комплекс:");
  // As after any error: the log opens, the bar stays, the window waits for its close button.
  EXPECT_EQ(ui_.Height(), 500);
  EXPECT_TRUE(ui_.ProgressVisible());
  EXPECT_EQ(ui_.animations, 0);
}

TEST_F(MainSequenceTest, RegistryErrorEndsTheRunWithAMessageBox) {
  complex_.registry().MakeUnwritable();
  Run();
  ASSERT_EQ(ui_.message_boxes.size(), 1u);
  EXPECT_FALSE(ui_.message_boxes[0].empty());
  EXPECT_EQ(Count("****"), 0);
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(app_->ExitStatus(), 3);
  EXPECT_TRUE(app_->SequenceFinished());
}

TEST_F(MainSequenceTest, WaitsWhileAnotherLoaderRunsOnTheComplex) {
  const std::string loader_dir = LoaderDirOf(complex_.Bin() + "NurvLoader.exe");
  const std::string waiting = "Ожидание завершения другого загрузчика...";
  auto other = platform::TryTakeRunLock(loader_dir);
  ASSERT_NE(other, nullptr);
  std::vector<std::int32_t> waits_while_held;
  ui_.on_wait = [&](std::int32_t ms) {
    if (!other || ui_.Status() != waiting) return;
    waits_while_held.push_back(ms);
    if (waits_while_held.size() == 2) other.reset();  // the other loader ends
  };
  bool held_at_start = false;
  ui_.on_log_line = [&](const std::string& line) {
    if (line == "Запуск НУРВ-Комплекс...")
      held_at_start = platform::TryTakeRunLock(loader_dir) == nullptr;
  };
  Run();
  // Tried again after each pause, messages processed meanwhile; nothing read before.
  ASSERT_EQ(waits_while_held.size(), 2u);
  EXPECT_GT(waits_while_held[0], 0);
  const auto& statuses = ui_.statuses;
  const auto wait_status = std::find(statuses.begin(), statuses.end(), waiting);
  EXPECT_LT(wait_status, std::find(statuses.begin(), statuses.end(), "Инициализация..."));
  EXPECT_EQ(app_->ExitStatus(), 0);
  EXPECT_EQ(started_.size(), 1u);
  EXPECT_TRUE(held_at_start);
  EXPECT_NE(platform::TryTakeRunLock(loader_dir), nullptr) << "released at the end of the run";
}

TEST_F(MainSequenceTest, ClosedWhileWaitingForAnotherLoaderDoesNothing) {
  const auto other = platform::TryTakeRunLock(LoaderDirOf(complex_.Bin() + "NurvLoader.exe"));
  ASSERT_NE(other, nullptr);
  ui_.on_wait = [this](std::int32_t) {
    if (ui_.Status() != "Ожидание завершения другого загрузчика..." || ui_.AnimationStarted())
      return;
    ui_.PressClose();
    ui_.OnBannerFrame(LoaderUi::kCloseFrame);
  };
  Run();
  EXPECT_TRUE(ui_.CloseRequested());
  EXPECT_TRUE(app_->SequenceFinished());
  EXPECT_EQ(ui_.Log(), Lines{});
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(app_->ExitStatus(), 3);
}

TEST_F(MainSequenceTest, ARunWithADeadlineEndsAsAnInitialisationErrorWhileAnotherLoaderRuns) {
  auto other = platform::TryTakeRunLock(LoaderDirOf(complex_.Bin() + "NurvLoader.exe"));
  ASSERT_NE(other, nullptr);
  run_lock_wait_ = std::chrono::seconds(1);
  int waits = 0;
  ui_.on_wait = [&](std::int32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (++waits == 40) other.reset();  // a run that waited on would end here, and succeed
  };
  Run();
  EXPECT_EQ(app_->ExitStatus(), 1);
  EXPECT_EQ(
      ui_.Log(),
      (Lines{"ИНИЦИАЛИЗАЦИЯ",
             "--> ОШИБКА! Комплекс занят другим загрузчиком: ожидание прекращено через 1 с", "",
             kStars, "              Работа загрузчика завершена ОШИБКОЙ ИНИЦИАЛИЗАЦИИ!", kStars}));
  EXPECT_TRUE(started_.empty());
}

#ifndef _WIN32
// What may stand at the run lock's name instead of its file.
struct LockPlace {
  const char* name;
  void (*plant)(const std::string& lock, const std::string& outside);
};

class RunLockPlaceTest : public MainSequenceTest,
                         public ::testing::WithParamInterface<LockPlace> {};

TEST_P(RunLockPlaceTest, EndsTheRunWithAMessageInRussianAndFollowsNoLink) {
  const std::string lock =
      complex_.Path("config/nurv/") +
      platform::RunLockFileName(LoaderDirOf(complex_.Bin() + "NurvLoader.exe"));
  fs::create_directories(fs::path(lock).parent_path());
  GetParam().plant(lock, complex_.Path("outside"));
  Run();
  EXPECT_EQ(app_->ExitStatus(), 3);
  EXPECT_EQ(ui_.message_boxes,
            Lines{"Не удалось занять файл блокировки запуска [" + lock + "]: это не файл"});
  EXPECT_TRUE(started_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Places, RunLockPlaceTest,
    ::testing::Values(LockPlace{"Folder", [](const std::string& lock,
                                             const std::string&) { fs::create_directory(lock); }},
                      LockPlace{"LinkToAFile",
                                [](const std::string& lock, const std::string& outside) {
                                  WriteFile(outside, "");
                                  fs::create_symlink(outside, lock);
                                }},
                      LockPlace{"Pipe", [](const std::string& lock,
                                           const std::string&) { ::mkfifo(lock.c_str(), 0600); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainSequenceTest, FirstStartWritesTheRegistryFileOnce) {
  complex_.registry().Clear();
  std::set<std::string> seen;
  ui_.on_log_line = [&](const std::string&) {
    if (fs::exists(complex_.RegistryFile())) seen.insert(ReadFile(complex_.RegistryFile()));
  };
  Run();
  EXPECT_EQ(app_->ExitStatus(), 0);
  EXPECT_EQ(seen, std::set<std::string>{ReadFile(complex_.RegistryFile())})
      << "the registry file was seen part-written";
}
#endif

TEST(LoaderAppCreate, StateFromSwitchesPathAndProductName) {
  const ComplexOnDisk user_folders;  // the run's log file goes there
  FakeUi ui;
  LoaderEnvironment env;
  env.executable_path = "/opt/НУРВ/Bin/NurvLoader.exe";
  env.os_product_name = "Microsoft Windows Server 2003 R2";
  LoaderApp app(ui, {"/DB", "/Wait"}, env);
  app.Initialise(ScreenGeometry{1366, 768, 1366, 768});
  EXPECT_EQ(app.State().LoaderDir, "/opt/НУРВ/Bin/");
  EXPECT_TRUE(app.State().IsWindowsXP);
  EXPECT_TRUE(app.State().SwitchDb && app.State().SwitchWait);
  EXPECT_EQ(app.State().ForwardedArgs, " /loader /db /wait");
  EXPECT_TRUE(ui.KeepOpen());
  EXPECT_EQ(ui.Left(), 428);
  EXPECT_EQ(ui.Height(), 100);
  EXPECT_EQ(app.ExitStatus(), 3);  // not run yet
}

}  // namespace
}  // namespace nurv
