#include "chooser_dialog.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "loader_window.h"
#include "message_box_closer.h"
#include "platform/posix/reg_file_registry.h"

namespace nurv::qtui {
namespace {

constexpr const char* kCaptions = "\\SOFTWARE\\NURVSQL\\DataBaseCaptions";
constexpr const char* kServers = "\\SOFTWARE\\NURVSQL\\ServerNames";
constexpr const char* kNames = "\\SOFTWARE\\NURVSQL\\DataBaseNames";

// Types `text` (ASCII: QTest sends Latin-1 key codes) into the grid's current cell: the first key
// opens the cell editor, the rest go to the editor.
QWidget* TypeInto(DbGrid& grid, const char* text) {
  QTest::keyClick(&grid, text[0]);
  QWidget* editor = grid.indexWidget(grid.currentIndex());
  if (editor != nullptr) QTest::keyClicks(editor, text + 1);
  return editor;
}

// A chooser on a real registry file in a temporary folder.
class ChooserTest : public ::testing::Test {
 protected:
  ChooserTest() : registry(platform::OpenRegistryFile(dir.Sub("registry.reg"))), model(*registry) {}

  void PutConnection(int number, const std::string& caption, const std::string& server,
                     const std::string& database) {
    const std::string n = std::to_string(number);
    registry->Create(kCaptions)->SetString("DataBaseCaption" + n, caption);
    registry->Create(kServers)->SetString("ServerName" + n, server);
    registry->Create(kNames)->SetString("DataBaseName" + n, database);
  }

  std::optional<std::string> Read(const char* key, const std::string& name) {
    auto opened = registry->Open(key);
    if (!opened) return std::nullopt;
    auto value = opened->Query(name);
    if (!value) return std::nullopt;
    return value->text;
  }

  int Fill() { return model.FillDatabaseList({}); }

  // Shows the dialog modally through the window, does `act` on it once it is up, and returns the
  // dialog's result.
  bool RunModal(const std::function<void(ChooserDialog&)>& act) {
    QTimer::singleShot(0, [&] {
      ChooserDialog* dialog = nullptr;
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<ChooserDialog*>(top); found && found->isVisible())
          dialog = found;
      }
      if (dialog == nullptr) {
        ADD_FAILURE() << "no dialog shown";
        return;
      }
      act(*dialog);
      if (dialog->isVisible()) {
        ADD_FAILURE() << "the action left the dialog open";
        dialog->reject();
      }
    });
    return window.ShowChooserDialog(model);
  }

  testing::TempDir dir;
  std::unique_ptr<platform::Registry> registry;
  ChooserModel model;
  LoaderWindow window;
};

TEST_F(ChooserTest, ViewAndEditModesAndF4AnywhereInTheDialog) {
  ChooserDialog dialog(model);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Выбор БД"));
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ((dialog.windowFlags() & Qt::WindowType_Mask), Qt::Tool);
  EXPECT_EQ(dialog.size(), QSize(501, 340));
  EXPECT_EQ(dialog.Grid->horizontalHeaderItem(0)->text(), QStringLiteral("Описание БД"));
  EXPECT_EQ(dialog.Grid->horizontalHeaderItem(1)->text(), QStringLiteral("Имя сервера БД"));
  EXPECT_EQ(dialog.Grid->horizontalHeaderItem(2)->text(), QStringLiteral("Имя БД"));
  EXPECT_EQ(dialog.Grid->rowCount(), 1);
  EXPECT_EQ(dialog.Grid->rowHeight(0), 18);

  auto expect_view = [&] {
    EXPECT_FALSE(model.EditMode());
    EXPECT_FALSE(dialog.SaveButton->isVisible());
    EXPECT_EQ(dialog.Grid->columnWidth(0), 476);
    EXPECT_TRUE(dialog.Grid->isColumnHidden(1));
    EXPECT_TRUE(dialog.Grid->isColumnHidden(2));
    EXPECT_EQ(dialog.Grid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(dialog.Grid->editTriggers(), QAbstractItemView::NoEditTriggers);
  };
  expect_view();
  QTest::keyClick(dialog.Grid, Qt::Key_F4);
  EXPECT_TRUE(model.EditMode());
  EXPECT_TRUE(dialog.SaveButton->isVisible());
  EXPECT_EQ(dialog.SaveButton->geometry(), QRect(10, 311, 143, 25));
  for (int col = 0; col < 3; ++col) EXPECT_FALSE(dialog.Grid->isColumnHidden(col));
  EXPECT_EQ(dialog.Grid->columnWidth(0), 282);
  EXPECT_EQ(dialog.Grid->columnWidth(1), 96);
  EXPECT_EQ(dialog.Grid->columnWidth(2), 96);
  EXPECT_EQ(dialog.Grid->selectionBehavior(), QAbstractItemView::SelectItems);
  EXPECT_NE(dialog.Grid->editTriggers(), QAbstractItemView::NoEditTriggers);
  // F4 on another control of the dialog switches back.
  QTest::keyClick(dialog.StartButton, Qt::Key_F4);
  expect_view();
}

TEST_F(ChooserTest, TypedCellsReachTheModelAndArrowKeysAddAndDropRows) {
  model.ToggleEditMode();
  ChooserDialog dialog(model);
  dialog.show();
  dialog.Grid->setFocus();
  dialog.Grid->setCurrentCell(0, 0);
  QWidget* editor = TypeInto(*dialog.Grid, "Sklad 1");
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(dialog.Grid->Editing());
  // Down leaves the editor with the text stored, then adds a row below a described last row.
  QTest::keyClick(editor, Qt::Key_Down);
  EXPECT_FALSE(dialog.Grid->Editing());
  EXPECT_EQ(model.Cell(0, 1), "Sklad 1");
  EXPECT_EQ(model.RowCount(), 3);
  EXPECT_EQ(dialog.Grid->rowCount(), 2);
  EXPECT_EQ(dialog.Grid->currentRow(), 1);
  EXPECT_EQ(dialog.Grid->currentColumn(), 0);
  // Up drops the empty last row again.
  QTest::keyClick(dialog.Grid, Qt::Key_Up);
  EXPECT_EQ(model.RowCount(), 2);
  EXPECT_EQ(dialog.Grid->rowCount(), 1);
  EXPECT_EQ(dialog.Grid->currentRow(), 0);
  // Right moves to the server column; what is typed there lands in column 1.
  QTest::keyClick(dialog.Grid, Qt::Key_Right);
  ASSERT_NE(TypeInto(*dialog.Grid, "sqlite:/srv/db"), nullptr);
  QTest::keyClick(dialog.Grid, Qt::Key_F4);
  EXPECT_EQ(model.Cell(1, 1), "sqlite:/srv/db");
}

TEST_F(ChooserTest, ArrowKeysInViewModeAddNoRows) {
  PutConnection(1, "Один", "s1", "d1");
  PutConnection(2, "Два", "s2", "d2");
  ASSERT_EQ(Fill(), 2);
  ChooserDialog dialog(model);
  dialog.show();
  dialog.Grid->setFocus();
  QTest::keyClick(dialog.Grid, Qt::Key_Down);
  QTest::keyClick(dialog.Grid, Qt::Key_Down);
  EXPECT_EQ(model.RowCount(), 3);
  EXPECT_EQ(model.CurrentRow(), 2);
  EXPECT_EQ(dialog.Grid->currentRow(), 1);
}

TEST_F(ChooserTest, SaveRenumbersTheDescribedRowsInTheRegistryFile) {
  PutConnection(3, "Третья", "srv3", "Db3");
  PutConnection(51, "Из ini", "srv51", "db51");
  PutConnection(120, "Сто двадцатая", "srv120", "db120");
  ASSERT_EQ(Fill(), 3);
  ChooserDialog dialog(model);
  dialog.show();
  EXPECT_EQ(dialog.Grid->rowCount(), 3);
  EXPECT_EQ(dialog.Grid->item(1, 0)->text(), QStringLiteral("Из ini"));
  QTest::keyClick(dialog.Grid, Qt::Key_F4);
  // A blank description drops its row from the saved list, whatever its server says.
  dialog.Grid->item(1, 0)->setText(QStringLiteral("   "));
  QTest::mouseClick(dialog.SaveButton, Qt::LeftButton);

  EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
  EXPECT_TRUE(model.EditMode());
  EXPECT_EQ(Read(kCaptions, "DataBaseCaption1"), "Третья");
  EXPECT_EQ(Read(kServers, "ServerName1"), "srv3");
  EXPECT_EQ(Read(kNames, "DataBaseName1"), "Db3");
  EXPECT_EQ(Read(kCaptions, "DataBaseCaption2"), "Сто двадцатая");
  EXPECT_EQ(Read(kNames, "DataBaseName2"), "db120");
  for (const char* gone : {"DataBaseCaption3", "DataBaseCaption51", "DataBaseCaption120"}) {
    EXPECT_EQ(Read(kCaptions, gone), std::nullopt) << gone;
  }
  EXPECT_EQ(Read(kServers, "ServerName51"), std::nullopt);
}

TEST_F(ChooserTest, EnterPressesTheFocusedSaveButtonAndElsewhereTheDefault) {
  PutConnection(3, "Третья", "srv3", "db3");
  ASSERT_EQ(Fill(), 1);
  model.ToggleEditMode();
  bool open_after_save = false;
  EXPECT_TRUE(RunModal([&](ChooserDialog& dialog) {
    dialog.SaveButton->setFocus();
    QTest::keyClick(dialog.SaveButton, Qt::Key_Return);
    open_after_save = dialog.isVisible();
    // Once the focus has left the button, Enter is "Начать работу"'s again.
    dialog.Grid->setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
  }));
  EXPECT_TRUE(open_after_save);
  EXPECT_EQ(Read(kCaptions, "DataBaseCaption1"), "Третья");
  EXPECT_EQ(Read(kCaptions, "DataBaseCaption3"), std::nullopt);
}

TEST_F(ChooserTest, AFailedSaveIsShownAndTheDialogStaysOpen) {
  model.ToggleEditMode();
  model.SetCell(0, 1, "Главная");
  // A folder where the store's file belongs: it can be neither read nor replaced.
  std::filesystem::create_directory(dir.Sub("registry.reg"));
  QString shown;
  bool open_after_save = false;
  EXPECT_FALSE(RunModal([&](ChooserDialog& dialog) {
    CloseNextMessageBox(shown);
    QTest::mouseClick(dialog.SaveButton, Qt::LeftButton);
    open_after_save = dialog.isVisible();
    dialog.close();
  }));
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Сохранение в реестре - ОШИБКА\n[")))
      << shown.toStdString();
  EXPECT_TRUE(open_after_save);
  EXPECT_TRUE(model.EditMode());
  EXPECT_EQ(model.Cell(0, 1), "Главная");
}

TEST_F(ChooserTest, EnterAcceptsWithTheCurrentRow) {
  PutConnection(1, "Один", "s1", "d1");
  PutConnection(2, "Два", "s2", "d2");
  ASSERT_EQ(Fill(), 2);
  EXPECT_TRUE(RunModal([](ChooserDialog& dialog) {
    dialog.Grid->setCurrentCell(1, 0);
    QTest::keyClick(dialog.Grid, Qt::Key_Return);
  }));
  EXPECT_EQ(model.CurrentRow(), 2);
}

TEST_F(ChooserTest, EnterInAnOpenEditorKeepsWhatWasTyped) {
  model.ToggleEditMode();
  EXPECT_TRUE(RunModal([](ChooserDialog& dialog) {
    dialog.Grid->setFocus();
    dialog.Grid->setCurrentCell(0, 2);
    QWidget* editor = TypeInto(*dialog.Grid, "Work");
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Return);
  }));
  EXPECT_EQ(model.Cell(2, 1), "Work");
}

TEST_F(ChooserTest, DoubleClickAcceptsInEitherMode) {
  PutConnection(1, "Один", "s1", "d1");
  ASSERT_EQ(Fill(), 1);
  for (bool edit : {false, true}) {
    if (edit) model.ToggleEditMode();
    EXPECT_TRUE(RunModal([](ChooserDialog& dialog) {
      QTableWidget* grid = dialog.Grid;
      const QRect cell = grid->visualItemRect(grid->item(0, 0));
      QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
      QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    })) << (edit ? "edit mode" : "view mode");
  }
  // Below the last row counts too: the grid, not a cell, takes the double click.
  EXPECT_TRUE(RunModal([](ChooserDialog& dialog) {
    QTest::mouseDClick(dialog.Grid->viewport(), Qt::LeftButton, {}, QPoint(100, 250));
  }));
}

TEST_F(ChooserTest, DoubleClickInsideAnOpenEditorAccepts) {
  model.ToggleEditMode();
  EXPECT_TRUE(RunModal([](ChooserDialog& dialog) {
    dialog.Grid->setFocus();
    QWidget* editor = TypeInto(*dialog.Grid, "ab");
    ASSERT_NE(editor, nullptr);
    QTest::mouseDClick(editor, Qt::LeftButton, {}, QPoint(4, 4));
  }));
  EXPECT_EQ(model.Cell(0, 1), "ab");
}

// View mode: Home, End, the page keys and Tab move the current row (wrapping after the last).
TEST_F(ChooserTest, MovingKeysMoveTheCurrentRowInViewMode) {
  for (int n = 1; n <= 4; ++n) PutConnection(n, "c" + std::to_string(n), "s", "d");
  ASSERT_EQ(Fill(), 4);
  ChooserDialog dialog(model);
  dialog.show();
  dialog.Grid->setFocus();
  std::vector<int> rows;
  for (Qt::Key key : {Qt::Key_End, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_PageDown, Qt::Key_PageUp,
                      Qt::Key_End, Qt::Key_Home}) {
    QTest::keyClick(dialog.Grid, key);
    rows.push_back(dialog.Grid->currentRow() + 1);
  }
  EXPECT_EQ(rows, (std::vector<int>{4, 1, 2, 4, 1, 4, 1}))
      << "End, Tab (wraps), Tab, PgDn, PgUp, End, Home";
  EXPECT_EQ(model.CurrentRow(), 1);
}

TEST_F(ChooserTest, CloseBoxCancelsAndEscapeDoesNothing) {
  bool open_after_escape = false;
  EXPECT_FALSE(RunModal([&](ChooserDialog& dialog) {
    QTest::keyClick(dialog.Grid, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    open_after_escape = dialog.isVisible();
    dialog.close();  // the close box
  }));
  EXPECT_TRUE(open_after_escape);
}

}  // namespace
}  // namespace nurv::qtui
