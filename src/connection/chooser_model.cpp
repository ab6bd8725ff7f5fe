#include "connection/chooser_model.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "base/utf8.h"
#include "settings/registry_layout.h"

namespace nurv {

namespace {

constexpr int kColumns = 3;

// The three numbered lists of one connection, in the order description, server, database.
struct ListKey {
  std::string_view key;
  std::string_view prefix;
};
constexpr std::array<ListKey, kColumns> kLists = {{
    {reglayout::kDataBaseCaptionsKey, reglayout::kDataBaseCaptionPrefix},
    {reglayout::kServerNamesKey, reglayout::kServerNamePrefix},
    {reglayout::kDataBaseNamesKey, reglayout::kDataBaseNamePrefix},
}};

bool IsBlankText(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) > ' ') return false;
  return true;
}

// A missing value (or key) reads as empty. So does a value that is not text: one damaged entry
// must not keep every start from the rest of the list.
std::string ReadListValue(platform::RegistryKey* key, const std::string& name) {
  if (!key) return {};
  const auto value = key->Query(name);
  if (!value) return {};
  if (value->type != platform::RegType::Sz && value->type != platform::RegType::ExpandSz) return {};
  return value->text;
}

}  // namespace

ChooserModel::ChooserModel(platform::Registry& registry) : registry_(registry) {
  rows_.push_back({"Описание БД", "Имя сервера БД", "Имя БД"});
  rows_.push_back({"", "", ""});
}

int ChooserModel::RowCount() const { return static_cast<int>(rows_.size()); }

const std::string& ChooserModel::Cell(int col, int row) const {
  static const std::string kEmpty;
  if (col < 0 || col >= kColumns || row < 0 || row >= RowCount()) return kEmpty;
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void ChooserModel::SetCell(int col, int row, const std::string& text) {
  if (col < 0 || col >= kColumns || row < 0 || row >= RowCount())
    throw std::out_of_range("Grid index out of range");
  rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = text;
}

int ChooserModel::CurrentRow() const { return current_row_; }
int ChooserModel::CurrentCol() const { return current_col_; }

void ChooserModel::SetCurrent(int col, int row) {
  // The header row cannot be current; view mode shows one column.
  const int columns = edit_mode_ ? kColumns : 1;
  if (col < 0 || col >= columns || row < 1 || row >= RowCount())
    throw std::out_of_range("Grid index out of range");
  current_col_ = col;
  current_row_ = row;
}

bool ChooserModel::EditMode() const { return edit_mode_; }

std::vector<int> ChooserModel::ColumnWidths() const {
  if (edit_mode_) return {282, 96, 96};
  return {476};
}

void ChooserModel::ToggleEditMode() {
  edit_mode_ = !edit_mode_;
  if (!edit_mode_) current_col_ = 0;
}

void ChooserModel::HandleArrowKey(Key key) {
  const int last = RowCount() - 1;
  if (edit_mode_) {
    if (key == Key::Down && !IsBlankText(Cell(0, last)) && current_row_ == last) {
      rows_.push_back({"", "", ""});
      current_row_ = RowCount() - 1;
      current_col_ = 0;
    } else if (key == Key::Up && IsBlankText(Cell(0, last)) && RowCount() > 2) {
      rows_.pop_back();
      if (current_row_ > RowCount() - 1) current_row_ = RowCount() - 1;
    }
  }
  // The key's own movement; arrows neither wrap nor enter the header row.
  const int columns = edit_mode_ ? kColumns : 1;
  switch (key) {
    case Key::Up:
      if (current_row_ > 1) --current_row_;
      break;
    case Key::Down:
      if (current_row_ < RowCount() - 1) ++current_row_;
      break;
    case Key::Left:
      if (current_col_ > 0) --current_col_;
      break;
    case Key::Right:
      if (current_col_ < columns - 1) ++current_col_;
      break;
  }
}

void ChooserModel::MoveCurrent(Move move, int page_rows) {
  const int columns = edit_mode_ ? kColumns : 1;
  const int last = RowCount() - 1;
  const int page = std::max(1, page_rows);
  switch (move) {
    case Move::Home:
      if (edit_mode_)
        current_col_ = 0;
      else
        current_row_ = 1;
      break;
    case Move::End:
      if (edit_mode_)
        current_col_ = columns - 1;
      else
        current_row_ = last;
      break;
    case Move::CtrlHome:
      current_col_ = 0;
      current_row_ = 1;
      break;
    case Move::CtrlEnd:
      current_col_ = columns - 1;
      current_row_ = last;
      break;
    case Move::PageUp:
      current_row_ = std::max(1, current_row_ - page);
      break;
    case Move::PageDown:
      current_row_ = std::min(last, current_row_ + page);
      break;
    case Move::NextCell:
    case Move::PreviousCell: {
      // The cells of the connection rows counted row by row.
      const int cells = last * columns;
      const int at = (current_row_ - 1) * columns + current_col_;
      const int to = (at + (move == Move::NextCell ? 1 : cells - 1)) % cells;
      current_row_ = 1 + to / columns;
      current_col_ = to % columns;
      break;
    }
  }
}

std::optional<std::string> ChooserModel::SaveToRegistry() {
  try {
    SaveList();
  } catch (const platform::RegistryError& error) {
    // The dialog stays open with the list as typed, so the user can save again or go on.
    return "Сохранение в реестре - ОШИБКА\n[" + std::string(error.what()) + "]";
  }
  return std::nullopt;
}

void ChooserModel::SaveList() {
  // The described rows are written as numbers 1..k first and only then the numbers above k are
  // deleted: the same list as deleting everything and writing anew, but an unchanged entry is
  // not rewritten and a failure part-way leaves the old entries in place.
  std::array<std::unique_ptr<platform::RegistryKey>, kColumns> keys;
  int k = 0;
  for (int row = 1; row < RowCount(); ++row) {
    if (IsBlankText(Cell(0, row))) continue;
    ++k;
    for (std::size_t col = 0; col < kLists.size(); ++col) {
      if (!keys[col]) keys[col] = registry_.Create(kLists[col].key);
      keys[col]->SetString(reglayout::NumberedValueName(kLists[col].prefix, k),
                           Cell(static_cast<int>(col), row));
    }
  }
  for (std::size_t col = 0; col < kLists.size(); ++col) {
    auto key = keys[col] ? std::move(keys[col]) : registry_.Open(kLists[col].key);
    if (!key) continue;  // never created just to be emptied
    for (int n = k + 1; n <= kMaxConnections; ++n)
      key->DeleteValue(reglayout::NumberedValueName(kLists[col].prefix, n));
  }
}

int ChooserModel::FillDatabaseList(const std::function<void()>& on_number_read) {
  std::array<std::unique_ptr<platform::RegistryKey>, kColumns> keys;
  for (std::size_t i = 0; i < kLists.size(); ++i) keys[i] = registry_.Open(kLists[i].key);
  int count = 0;
  for (int n = 1; n <= kMaxConnections; ++n) {
    std::array<std::string, kColumns> texts;
    for (std::size_t i = 0; i < kLists.size(); ++i)
      texts[i] = ReadListValue(keys[i].get(), reglayout::NumberedValueName(kLists[i].prefix, n));
    if (on_number_read) on_number_read();
    if (texts[0].empty() && texts[1].empty() && texts[2].empty()) continue;
    ++count;
    rows_.resize(static_cast<std::size_t>(count) + 1, {"", "", ""});
    rows_[static_cast<std::size_t>(count)] = {texts[0], texts[1], texts[2]};
  }
  return count;
}

DatabaseChoice ChooseDatabase(ChooserModel& model, int count, bool switch_db,
                              const std::function<bool(ChooserModel&)>& show_modal) {
  DatabaseChoice choice;
  choice.accepted = true;
  int row = 1;
  if (count != 1 || switch_db) {
    if (switch_db || count == 0) model.ToggleEditMode();
    choice.accepted = show_modal ? show_modal(model) : false;
    row = model.CurrentRow();
  }
  // Read also after a cancel, as the main sequence expects.
  choice.server = model.Cell(1, row);
  choice.database = LowerCaseText(model.Cell(2, row));
  choice.caption = model.Cell(0, row);
  return choice;
}

}  // namespace nurv
