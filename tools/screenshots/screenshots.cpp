// Renders the loader window in the middle of a run and the chooser dialog in edit mode to PNG
// files, without a display.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <memory>
#include <string_view>

#include "chooser_dialog.h"
#include "command_line/tool_command_line.h"
#include "loader_window.h"

namespace {

constexpr nurv::tools::ToolUsage kUsage{
    "nurv-screenshots", "[OUTPUT_FOLDER]",
    "Draws the loader window in the middle of a run and the connection chooser offscreen into\n"
    "OUTPUT_FOLDER/window.png and OUTPUT_FOLDER/chooser.png (default folder: screenshots).\n",
    0, 1};

// The pictures need no registry: the grid is filled by hand.
class NoRegistry : public nurv::platform::Registry {
 public:
  std::unique_ptr<nurv::platform::RegistryKey> Open(std::string_view) override { return nullptr; }
  std::unique_ptr<nurv::platform::RegistryKey> Create(std::string_view) override {
    throw nurv::platform::RegistryError("no registry in the screenshot tool");
  }
};

bool Save(QWidget& widget, const QString& path) {
  const bool saved = widget.grab().save(path, "PNG");
  std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write",
               path.toLocal8Bit().constData());
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  // Read before Qt sees the arguments: no option of Qt's is taken either.
  const nurv::tools::ToolCommandLine line = nurv::tools::ReadToolCommandLine(argc, argv, kUsage);
  if (line.exit_status) return *line.exit_status;
  const QString folder = line.operands.empty() ? QStringLiteral("screenshots")
                                               : QString::fromLocal8Bit(line.operands[0].c_str());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Загрузчик НУРВ"));
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "cannot create %s\n", folder.toLocal8Bit().constData());
    return 1;
  }

  nurv::qtui::LoaderWindow window;
  const nurv::ScreenGeometry screen{1920, 1080, 1920, 1080};
  window.Initialise(screen, false);
  window.FirstShow(screen);
  window.SetVersionLabel("6.3.0.0");
  window.VersionCaption->SetRevealOn(false);  // the settled label, as it stands after its reveal
  window.ToggleLog();
  for (const char* line :
       {"ИНИЦИАЛИЗАЦИЯ",
        "Файл инициализации [/opt/complex/Bin/nurv.ini] - OK",
        "Наличие записи НУРВ в реестре - OK",
        "Считывание реестра  - OK",
        "Заполнение таблицы серверов - OK",
        "Соединение с сервером: [sqlite:/opt/complex/updates.db], БД: [complex] - OK",
        "Считывание номера доступной версии - OK",
        "Считывание номера доступной версии загрузчика- OK",
        "Установлено_ - версия: 5.1.9.2",
        "Доступно____ - версия: 5.1.10.2",
        "Установлено_загрузчик - версия: 6.3.0.0",
        "Доступно____загрузчик - версия: 6.3.0.0",
        "ОС - версия: Debian GNU/Linux 12 (bookworm)",
        "Windows XP: НЕТ",
        "",
        "ЗАГРУЗКА ОБНОВЛЕНИЯ...",
        "",
        "Обновление библиотеки 7za.dll...",
        " -> Выгрузка библиотеки 7za.dll - НЕ ТРЕБУЕТСЯ",
        "",
        "Обновление исполняемого модуля...",
        " -> Выгрузка исполняемого модуля - OK",
        "",
        "Обновление библиотек браузера..."}) {
    window.AddLogLine(line);
  }
  for (int i = 0; i < 7; ++i) window.StepProgress();
  window.ShowStatus("Выгрузка библиотек браузера...");
  window.show();
  window.ProcessMessages();
  bool ok = Save(window, folder + "/window.png");

  NoRegistry registry;
  nurv::ChooserModel model(registry);
  const char* rows[][3] = {{"Основная база (сервер)", "NURV-SRV\\SQL2019", "Complex"},
                           {"Учебная база", "NURV-SRV\\SQL2019", "Complex_Study"},
                           {"Локальная копия", "sqlite:/opt/complex/updates.db", "local"}};
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      model.ToggleEditMode();
      model.SetCurrent(0, model.RowCount() - 1);
      model.HandleArrowKey(nurv::ChooserModel::Key::Down);  // adds the next row, as the user would
      model.ToggleEditMode();
    }
    for (int col = 0; col < 3; ++col) model.SetCell(col, i + 1, rows[i][col]);
  }
  model.ToggleEditMode();
  model.SetCurrent(0, 1);
  nurv::qtui::ChooserDialog dialog(model);
  dialog.SyncFromModel();
  dialog.show();
  window.ProcessMessages();
  ok = Save(dialog, folder + "/chooser.png") && ok;
  return ok ? 0 : 1;
}
