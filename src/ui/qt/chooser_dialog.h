#pragma once
#include <QDialog>
#include <QFrame>
#include <QPushButton>
#include <QTableWidget>

#include "connection/chooser_model.h"

namespace nurv::qtui {

// The chooser's string grid: a table whose open cell editor can be committed on demand, because
// the dialog reads the cells on keys the editor never sees finished (F4, Enter, arrows, closing).
class DbGrid : public QTableWidget {
  Q_OBJECT
 public:
  using QTableWidget::QTableWidget;
  bool Editing() const { return state() == QAbstractItemView::EditingState; }
  // Stores the open editor's text in its cell and closes the editor.
  void FinishEdit();
};

// The database chooser dialog on Qt: draws the ChooserModel and routes keys, edits and clicks to
// it. Modal tool window "Выбор БД", on top, 501×340; OK by "Начать работу", Enter or a double
// click, cancel by the close box; Esc does nothing.
class ChooserDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ChooserDialog(ChooserModel& model, QWidget* parent = nullptr);
  ~ChooserDialog() override;

  QFrame* Panel = nullptr;
  DbGrid* Grid = nullptr;
  QPushButton* SaveButton = nullptr;
  QPushButton* StartButton = nullptr;

  // Redraws the grid, the mode and the current cell from the model.
  void SyncFromModel();

 public slots:
  void done(int result) override;

 protected:
  // The dialog sees every key before the grid does.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  bool HandleKey(QObject* watched, QKeyEvent* key);
  void CellEdited(QTableWidgetItem* item);
  void CurrentCellMoved(int row, int column);

  ChooserModel& model_;
  bool syncing_ = false;
};

}  // namespace nurv::qtui
