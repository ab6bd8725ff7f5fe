// The main sequence, first half: settings, choice of the database, connection, access check,
// available and installed versions, version lines.
#include <chrono>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/connection_text.h"
#include "base/text_utils.h"
#include "connection/chooser_model.h"
#include "connection/loader_login.h"
#include "loader/catalogue_filter.h"
#include "loader/loader_app.h"
#include "loader/prepare_texts.h"
#include "loader/server_connection.h"
#include "platform/files.h"
#include "settings/ini_settings.h"
#include "settings/registry_settings.h"
#include "support/product_version.h"

namespace nurv {

namespace {

constexpr char kNoVersion[] = "00.00.00.00";
// Between two tries for the run lock, with the window's messages processed.
constexpr std::int32_t kRunLockRetryMs = 250;

void AddLogLines(UiServices& ui, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) ui.AddLogLine(line);
}

// The run lock, or nullptr while another loader holds it; a lock that cannot be taken at all ends
// the run with the reason in the log's language.
std::unique_ptr<platform::RunLock> TryTakeRunLock(const std::string& loader_dir) {
  try {
    return platform::TryTakeRunLock(loader_dir);
  } catch (const platform::RunLockError& error) {
    throw std::runtime_error(RunLockFailureText(error));
  }
}

}  // namespace

bool LoaderApp::Prepare() {
  ui_.ClearLog();
  if (state_.SwitchInfo && ui_.Height() < LoaderUi::kExpandedHeight) ui_.ToggleLog();
  ui_.AddLogLine("ИНИЦИАЛИЗАЦИЯ");

  std::unique_ptr<platform::Registry> registry = OpenRegistry();
  ReadIniAndRegistry(*registry);
  // A key entry that holds no key ends the run here: nothing is installed unchecked.
  if (!state_.InitFailed) ChooseAndConnect(*registry);
  registry.reset();

  if (!state_.InitFailed) CheckUpdateAccess();
  if (state_.SwitchNotUpdate) return false;
  if (!state_.InitFailed) ReadAvailableVersions();
  if (state_.InitFailed) return false;

  ui_.ShowStatus("Проверка обновлений...");
  ReadInstalledVersions();
  RemoveOldBrowserFiles();
  WriteVersionLines();
  return true;
}

LoaderApp::RunLockWait LoaderApp::TakeRunLock() {
  run_lock_ = TryTakeRunLock(state_.LoaderDir);
  if (run_lock_) return RunLockWait::Taken;
  // Started twice at once (a double click): the second finds the complex as the first leaves it.
  // The first may wait for its user (the chooser): this window can be closed meanwhile, while a
  // run that nobody can answer gives up in the end.
  ui_.ShowStatus("Ожидание завершения другого загрузчика...");
  using Clock = std::chrono::steady_clock;
  const std::optional<Clock::time_point> deadline =
      env_.run_lock_wait ? std::optional(Clock::now() + *env_.run_lock_wait) : std::nullopt;
  while (!run_lock_) {
    if (ui_.CloseRequested()) return RunLockWait::Closed;
    if (deadline && Clock::now() >= *deadline) return RunLockWait::TimedOut;
    ui_.WaitMs(kRunLockRetryMs);
    run_lock_ = TryTakeRunLock(state_.LoaderDir);
  }
  return RunLockWait::Taken;
}

void LoaderApp::ReportComplexHeld() {
  ui_.ClearLog();
  ui_.AddLogLine("ИНИЦИАЛИЗАЦИЯ");
  ui_.AddLogLine(ComplexHeldLine(*env_.run_lock_wait));
  state_.InitFailed = true;
}

void LoaderApp::ReadIniAndRegistry(platform::Registry& registry) {
  const std::string ini_path = state_.LoaderDir + "nurv.ini";
  std::string ini_line = "Файл инициализации [" + EscapeControlBytes(ini_path) + "]";
  ui_.ShowStatus("Инициализация...");
  if (env_.own_file_version) {
    state_.OwnFileVersion = *env_.own_file_version;
  } else {
    ReadOwnFileVersion(state_.OwnFileVersion);
  }
  std::optional<std::string> invalid_key_entry;
  if (platform::FileExists(ini_path)) {
    ini_line += " - OK";
    state_.IniSettings = ReadIniFile(ini_path, state_.LoaderDir);
    TrustedKeySettings trusted = ReadTrustedKeyLines(ini_path);
    state_.TrustedKeyLines = std::move(trusted.lines);
    invalid_key_entry = std::move(trusted.invalid_entry);
  } else {
    ini_line += " - Отсутствует";
    state_.SwitchLoadIni = false;
  }
  ui_.AddLogLine(ini_line);
  if (invalid_key_entry) {
    ui_.AddLogLine(InvalidTrustedKeyLine(*invalid_key_entry));
    state_.InitFailed = true;
  }

  // One write: another program of the complex never reads a key that is there but not yet
  // filled.
  registry.Batch([&] {
    const bool key_was_missing = EnsureRegistryKeys(registry);
    ui_.AddLogLine(RegistryKeyLine(key_was_missing));
    if (key_was_missing || state_.SwitchLoadIni) {
      AddLogLines(ui_,
                  RegistryWriteLines(WriteRegistrySettings(
                      registry, state_.IniSettings, state_.LoaderSettings, env_.executable_path)));
    }
  });
  AddLogLines(ui_, RegistryReadLines(ReadRegistrySettings(registry, state_.LoaderSettings,
                                                          state_.LoaderDir, env_.executable_path)));
  ui_.ShowStatus("Считывание реестра...");
}

void LoaderApp::ChooseAndConnect(platform::Registry& registry) {
  DatabaseChoice choice;
  {
    // The chooser lives only for the choice.
    ChooserModel chooser(registry);
    // The status of every number read keeps the window alive while the list is read.
    const int count =
        chooser.FillDatabaseList([this] { ui_.ShowStatus("Заполнение таблицы серверов..."); });
    ui_.AddLogLine("Заполнение таблицы серверов - OK");
    state_.InitFailed = false;
    ui_.ShowStatus("Выбор базы данных для подключения...");
    choice = ChooseDatabase(chooser, count, state_.SwitchDb,
                            [this](ChooserModel& model) { return ui_.ShowChooserDialog(model); });
  }
  if (!choice.accepted) state_.InitFailed = true;
  state_.SelectedServer = choice.server;
  state_.SelectedDataBase = choice.database;
  state_.SelectedCaption = choice.caption;
  state_.LaunchArgs = " -server=" + state_.SelectedServer +
                      " -database=" + state_.SelectedDataBase +
                      " -caption=" + state_.SelectedCaption;

  if (state_.InitFailed) {
    ui_.AddLogLine("Выбор базы данных для подключения - ОШИБКА");
    return;
  }
  std::string line = "Соединение с сервером: [" + ShownConnectionText(state_.SelectedServer) +
                     "], БД: [" + EscapeControlBytes(state_.SelectedDataBase) + "]";
  const std::string password = LoaderPassword();
  ui_.ShowStatus("Установка соединения...");
  if (!ConnectAndLog(connection_, state_.SelectedServer, state_.SelectedDataBase, kLoaderLogin,
                     password, state_.LoaderSettings, ui_))
    state_.InitFailed = true;
  line += state_.InitFailed ? " - ОШИБКА" : " - OK";
  ui_.AddLogLine(line);
}

void LoaderApp::CheckUpdateAccess() {
  try {
    catalogue_ = connection_.OpenDataset(std::string(kCatalogueQuery));
  } catch (const std::exception& error) {
    state_.InitFailed = true;
    ui_.AddLogLine(AccessFailureEntry(error));
  }
}

void LoaderApp::ReadAvailableVersions() {
  ui_.ShowStatus("Считывание номера доступной версии...");
  WaitCursor cursor(ui_);
  // The version the server offers for `code`; nothing when it cannot be read.
  const auto read = [this](const char* code) -> std::optional<std::string> {
    try {
      const Value value =
          Coalesce(connection_.ExecuteScalar(std::string(kVersionQuery) + db::SqlLiteral(code)),
                   std::string(kNoVersion));
      return ValueText(value).value_or(std::string());
    } catch (const std::exception&) {
      return std::nullopt;
    }
  };
  if (const auto version = read("PRG")) {
    state_.AvailableVersion = *version;
    ui_.AddLogLine("Считывание номера доступной версии - OK");
  } else {
    ui_.AddLogLine("Считывание номера доступной версии - ОШИБКА");
  }
  if (const auto version = read("LDR")) {
    state_.AvailableLoaderVersion = *version;
    ui_.AddLogLine("Считывание номера доступной версии загрузчика- OK");
  } else {
    ui_.AddLogLine("Считывание номера доступной версии загрузчика - ОШИБКА");
  }
}

void LoaderApp::ReadInstalledVersions() {
  struct Installed {
    FourPartVersion numbers;
    std::string text;
  };
  const auto read = [](const std::string& path) {
    FourPartVersion numbers{};
    if (ReadFileProductVersion(path, numbers)) return Installed{numbers, VersionText(numbers)};
    return Installed{{}, kNoVersion};
  };
  const Installed program = read(state_.LoaderDir + "nurv.exe");
  state_.InstalledNumbers = program.numbers;
  state_.InstalledVersion = program.text;
  const Installed loader = read(state_.LoaderDir + "NurvLoader.exe");
  state_.InstalledLoaderNumbers = loader.numbers;
  state_.InstalledLoaderVersion = loader.text;
}

void LoaderApp::WriteVersionLines() {
  // The available versions are texts of the database; the system's name is read from a file.
  ui_.AddLogLine("Установлено_ - версия: " + state_.InstalledVersion);
  ui_.AddLogLine("Доступно____ - версия: " + EscapeControlBytes(state_.AvailableVersion));
  ui_.AddLogLine("Установлено_загрузчик - версия: " + state_.InstalledLoaderVersion);
  ui_.AddLogLine("Доступно____загрузчик - версия: " +
                 EscapeControlBytes(state_.AvailableLoaderVersion));
  ui_.AddLogLine("ОС - версия: " + EscapeControlBytes(os_product_name_));
  ui_.AddLogLine(state_.IsWindowsXP ? "Windows XP: ДА" : "Windows XP: НЕТ");
}

}  // namespace nurv
