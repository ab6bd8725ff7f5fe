#include "chooser_dialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <optional>
#include <string>

#include "message_box.h"
#include "qt_widgets.h"

namespace nurv::qtui {

namespace {

constexpr int kColumns = 3;

// The model's move for one of the grid's moving keys (Tab, Shift+Tab, Home, End, the page keys).
ChooserModel::Move GridMove(const QKeyEvent& key) {
  using Move = ChooserModel::Move;
  const bool ctrl = (key.modifiers() & Qt::ControlModifier) != 0;
  switch (key.key()) {
    case Qt::Key_Tab:
      return Move::NextCell;
    case Qt::Key_Backtab:
      return Move::PreviousCell;
    case Qt::Key_Home:
      return ctrl ? Move::CtrlHome : Move::Home;
    case Qt::Key_End:
      return ctrl ? Move::CtrlEnd : Move::End;
    case Qt::Key_PageUp:
      return Move::PageUp;
    default:
      return Move::PageDown;
  }
}

}  // namespace

void DbGrid::FinishEdit() {
  if (!Editing()) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

ChooserDialog::ChooserDialog(ChooserModel& model, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      model_(model) {
  setObjectName(QStringLiteral("FormDB"));
  setWindowTitle(QStringLiteral("Выбор БД"));
  setFixedSize(501, 340);
  setFont(MsSansSerif(11));
  setModal(true);

  Panel = new QFrame(this);
  Panel->setObjectName(QStringLiteral("Panel"));
  Panel->setGeometry(0, 0, 501, 340);
  Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);

  Grid = new DbGrid(Panel);
  Grid->setObjectName(QStringLiteral("Grid"));
  Grid->setGeometry(2, 2, 497, 305);
  Grid->setColumnCount(kColumns);
  QStringList header;
  for (int col = 0; col < kColumns; ++col) header << ToQ(model_.Cell(col, 0));
  Grid->setHorizontalHeaderLabels(header);
  Grid->verticalHeader()->hide();
  Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Grid->verticalHeader()->setMinimumSectionSize(ChooserModel::kRowHeight);
  Grid->verticalHeader()->setDefaultSectionSize(ChooserModel::kRowHeight);
  Grid->horizontalHeader()->setFixedHeight(ChooserModel::kRowHeight + 1);
  Grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  Grid->horizontalHeader()->setHighlightSections(false);
  Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Grid->setShowGrid(true);
  Grid->setTabKeyNavigation(true);
  Grid->setWordWrap(false);
  Grid->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(Grid, &QTableWidget::itemChanged, this, &ChooserDialog::CellEdited);
  connect(Grid, &QTableWidget::currentCellChanged, this,
          [this](int row, int column, int, int) { CurrentCellMoved(row, column); });

  SaveButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                               QStringLiteral("Сохранить в реестре"), Panel);
  SaveButton->setObjectName(QStringLiteral("SaveButton"));
  SaveButton->setGeometry(10, 311, 143, 25);
  // Focused, it takes Enter for itself; elsewhere Enter stays with "Начать работу".
  SaveButton->setAutoDefault(true);
  connect(SaveButton, &QPushButton::clicked, this, [this] {
    Grid->FinishEdit();
    const std::optional<std::string> error = model_.SaveToRegistry();
    SyncFromModel();
    if (error) ShowLoaderMessage(this, QMessageBox::Critical, *error);
  });

  StartButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton),
                                QStringLiteral("Начать работу"), Panel);
  StartButton->setObjectName(QStringLiteral("StartButton"));
  StartButton->setGeometry(370, 312, 115, 25);
  StartButton->setDefault(true);
  connect(StartButton, &QPushButton::clicked, this, &QDialog::accept);

  SyncFromModel();
  Grid->setFocus();
  qApp->installEventFilter(this);
}

ChooserDialog::~ChooserDialog() { qApp->removeEventFilter(this); }

void ChooserDialog::SyncFromModel() {
  syncing_ = true;
  const bool edit = model_.EditMode();
  const int rows = std::max(0, model_.RowCount() - 1);
  if (Grid->rowCount() != rows) Grid->setRowCount(rows);
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < kColumns; ++col) {
      const QString text = ToQ(model_.Cell(col, row + 1));
      QTableWidgetItem* item = Grid->item(row, col);
      if (item == nullptr) {
        Grid->setItem(row, col, new QTableWidgetItem(text));
      } else if (item->text() != text) {
        item->setText(text);
      }
    }
  }
  const std::vector<int> widths = model_.ColumnWidths();
  for (int col = 0; col < kColumns; ++col) {
    const bool shown = col < static_cast<int>(widths.size());
    Grid->setColumnHidden(col, !shown);
    if (shown) Grid->setColumnWidth(col, widths[col]);
  }
  Grid->setSelectionBehavior(edit ? QAbstractItemView::SelectItems : QAbstractItemView::SelectRows);
  Grid->setEditTriggers(edit
                            ? QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                                  QAbstractItemView::SelectedClicked
                            : QAbstractItemView::NoEditTriggers);
  SaveButton->setVisible(edit);
  const int row = model_.CurrentRow() - 1;
  // A hidden column cannot hold the cursor: view mode shows the row on its description.
  const int col = edit ? model_.CurrentCol() : 0;
  if (row >= 0 && row < rows && (Grid->currentRow() != row || Grid->currentColumn() != col)) {
    Grid->setCurrentCell(row, col);
  }
  if (row >= 0 && row < rows) Grid->scrollToItem(Grid->item(row, col));
  Grid->viewport()->update();
  syncing_ = false;
}

void ChooserDialog::CellEdited(QTableWidgetItem* item) {
  // Only cells of connection rows that the model holds; the model refuses anything else.
  if (syncing_ || item->row() + 1 >= model_.RowCount() || item->column() >= kColumns) return;
  model_.SetCell(item->column(), item->row() + 1, FromQ(item->text()));
}

void ChooserDialog::CurrentCellMoved(int row, int column) {
  if (syncing_ || row < 0 || column < 0 || row + 1 >= model_.RowCount()) return;
  // View mode keeps the model on its one shown column.
  const int col = model_.EditMode() ? std::min(column, kColumns - 1) : 0;
  model_.SetCurrent(col, row + 1);
}

void ChooserDialog::done(int result) {
  // Whatever is typed in an open cell counts, also when the dialog is cancelled.
  Grid->FinishEdit();
  QDialog::done(result);
}

bool ChooserDialog::eventFilter(QObject* watched, QEvent* event) {
  // A double click anywhere on the grid gives OK, in either mode, also inside an open cell editor
  // (a child of the grid's viewport).
  if (event->type() == QEvent::MouseButtonDblClick && watched->isWidgetType() &&
      (watched == Grid->viewport() ||
       Grid->viewport()->isAncestorOf(static_cast<QWidget*>(watched)))) {
    accept();
    return true;
  }
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    return HandleKey(watched, static_cast<QKeyEvent*>(event));
  }
  return QDialog::eventFilter(watched, event);
}

bool ChooserDialog::HandleKey(QObject* watched, QKeyEvent* key) {
  const bool in_grid = watched == Grid || Grid->isAncestorOf(static_cast<QWidget*>(watched));
  switch (key->key()) {
    case Qt::Key_F4:  // anywhere in the dialog, whichever control has the focus
      Grid->FinishEdit();
      model_.ToggleEditMode();
      SyncFromModel();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // The default button; a focused "Сохранить в реестре" takes Enter itself.
      if (!in_grid) return false;
      accept();
      return true;
    case Qt::Key_Escape:
      // Esc never closes the dialog; it only drops what an open cell editor holds.
      return !Grid->Editing();
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right: {
      if (!in_grid || key->modifiers() != Qt::NoModifier) return false;
      const bool vertical = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down;
      // Left and right move the caret inside an open editor.
      if (!vertical && Grid->Editing()) return false;
      Grid->FinishEdit();
      static constexpr ChooserModel::Key kKeys[] = {ChooserModel::Key::Left, ChooserModel::Key::Up,
                                                    ChooserModel::Key::Right,
                                                    ChooserModel::Key::Down};
      model_.HandleArrowKey(kKeys[key->key() - Qt::Key_Left]);
      SyncFromModel();
      return true;
    }
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      if (!in_grid) return false;
      Grid->FinishEdit();
      // Ctrl+Tab leaves the grid for the buttons; Tab itself moves between the cells.
      if (key->modifiers() & Qt::ControlModifier) {
        focusNextPrevChild(key->key() == Qt::Key_Tab);
        return true;
      }
      [[fallthrough]];
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      // Home and End move the caret inside an open editor.
      if (!in_grid || Grid->Editing()) return false;
      model_.MoveCurrent(GridMove(*key), Grid->viewport()->height() / ChooserModel::kRowHeight);
      SyncFromModel();
      return true;
    default:
      return false;
  }
}

void ChooserDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ChooserDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

}  // namespace nurv::qtui
