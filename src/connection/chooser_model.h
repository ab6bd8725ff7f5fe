#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace nurv {

// The database chooser `FormDB` as a model that every front end draws: the grid of known
// connections (row 0 is the header; columns: description, server, database), the view and edit
// modes, the row rules of the arrow keys and the save to the registry.
class ChooserModel {
 public:
  static constexpr int kMaxConnections = 200;
  static constexpr int kRowHeight = 18;

  // A new chooser: header texts, one header row and one empty connection row, view mode.
  explicit ChooserModel(platform::Registry& registry);

  int RowCount() const;  // the header row included
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, const std::string& text);
  int CurrentRow() const;
  int CurrentCol() const;
  void SetCurrent(int col, int row);

  // Edit mode: three columns, cell selection and editing, "Сохранить в реестре" shown.
  bool EditMode() const;
  // Widths of the visible columns: {476} in view mode, {282, 96, 96} in edit mode.
  std::vector<int> ColumnWidths() const;

  void ToggleEditMode();

  enum class Key { Up, Down, Left, Right };
  // The row rules of edit mode, then the key's usual movement of the current cell.
  void HandleArrowKey(Key key);

  // The grid's other moving keys, in either mode. Home and End go to the first and last row in
  // view mode (whole rows are selected there) and to the first and last column in edit mode; with
  // Ctrl to the first and last cell. The page keys move by `page_rows` rows (the rows in view).
  // Tab and Shift+Tab go to the next and previous cell, row by row, wrapping at either end.
  enum class Move { Home, End, CtrlHome, CtrlEnd, PageUp, PageDown, NextCell, PreviousCell };
  void MoveCurrent(Move move, int page_rows);

  // "Сохранить в реестре": rewrites the three numbered lists from the described rows. Nothing on
  // success; when the registry refuses the save, the text to show the user.
  [[nodiscard]] std::optional<std::string> SaveToRegistry();

  // Fills the grid from the registry; returns the number of connections. `on_number_read` (if
  // any) runs after each of the numbers 1..kMaxConnections is read.
  int FillDatabaseList(const std::function<void()>& on_number_read);

 private:
  void SaveList();

  platform::Registry& registry_;
  std::vector<std::vector<std::string>> rows_;  // rows_[row][col]
  int current_row_ = 1;
  int current_col_ = 0;
  bool edit_mode_ = false;
};

struct DatabaseChoice {
  bool accepted = false;
  std::string server;
  std::string database;  // lower case
  std::string caption;
};

// Shows the dialog when needed through `show_modal` (true = OK, false = closed by its close box)
// and reads the choice from the current row, also after a cancel.
DatabaseChoice ChooseDatabase(ChooserModel& model, int count, bool switch_db,
                              const std::function<bool(ChooserModel&)>& show_modal);

}  // namespace nurv
