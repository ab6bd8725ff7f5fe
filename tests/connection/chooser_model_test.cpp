// The chooser on the current user's registry as the loader opens it: the .reg file store on POSIX,
// the real registry on Windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "common/temp_dir.h"
#include "common/test_registry.h"
#include "connection/chooser_model.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace nurv {
namespace {

const std::string kRoot = "\\SOFTWARE\\NURVSQL";
const std::string kCaptions = kRoot + "\\DataBaseCaptions";
const std::string kServers = kRoot + "\\ServerNames";
const std::string kNames = kRoot + "\\DataBaseNames";
const std::string kUsers = kRoot + "\\Users";

// The folder of the POSIX store. Every change of it is flushed to disk; a memory-backed folder
// keeps the 600-odd writes of a large save quick where there is one.
std::string StoreFolder(const testing::TempDir& dir) {
#ifndef _WIN32
  if (std::filesystem::is_directory("/dev/shm"))
    return "/dev/shm/nurv-chooser-" + std::to_string(::getpid());
#endif
  return dir.Sub("config");
}

class ChooserTest : public ::testing::Test {
 protected:
  ~ChooserTest() override {
    std::error_code ignored;
    std::filesystem::remove_all(store_folder_, ignored);
  }

  // A fresh registry object, as the next run of the loader opens it.
  std::unique_ptr<platform::Registry> Reopen() { return platform::OpenCurrentUserRegistry(); }
  void Put(const std::string& key, const std::string& name, const std::string& text) {
    Reopen()->Create(key)->SetString(name, text);
  }
  // Opens the registry with what was put so far.
  void Open() { registry_ = Reopen(); }
  void OpenThreeConnections() {
    Put(kCaptions, "DataBaseCaption3", "Третья");
    Put(kCaptions, "DataBaseCaption51", "Из ini");
    Put(kCaptions, "DataBaseCaption120", "");
    Put(kCaptions, "DataBaseCaption7", "");
    Put(kServers, "ServerName3", "srv3");
    Put(kServers, "ServerName51", "sqlite:/opt/complex/updates.db");
    Put(kServers, "ServerName120", "srv120");
    Put(kNames, "DataBaseName3", "Учёт_ГЛАВНЫЙ");
    Put(kNames, "DataBaseName51", "NURV51");
    Put(kNames, "DataBaseName120", "");
    Put(kNames, "DataBaseName201", "beyond");
    Put(kUsers, "User51", "ivanov");
    Open();
  }
  std::string Read(const std::string& key, const std::string& name) {
    auto open = registry_->Open(key);
    if (!open) return "(no key)";
    const auto value = open->Query(name);
    return value ? value->text : "(none)";
  }
  // Value names present in `key` among the numbered names 1..300 of `prefix`.
  std::vector<int> Numbers(const std::string& key, const std::string& prefix) {
    std::vector<int> found;
    auto open = registry_->Open(key);
    for (int n = 1; open && n <= 300; ++n)
      if (open->Query(prefix + std::to_string(n))) found.push_back(n);
    return found;
  }

  testing::TempDir dir_;
  std::string store_folder_ = StoreFolder(dir_);
  testing::ScopedTestRegistry test_registry_{store_folder_};
  std::unique_ptr<platform::Registry> registry_;
  int numbers_read_ = 0;
  std::function<void()> count_reads_ = [this] { ++numbers_read_; };
};

TEST_F(ChooserTest, FormCreateState) {
  Open();
  ChooserModel model(*registry_);
  EXPECT_EQ(model.RowCount(), 2);
  EXPECT_EQ(model.Cell(0, 0), "Описание БД");
  EXPECT_EQ(model.Cell(1, 0), "Имя сервера БД");
  EXPECT_EQ(model.Cell(2, 0), "Имя БД");
  EXPECT_FALSE(model.EditMode());
  EXPECT_EQ(model.ColumnWidths(), std::vector<int>{476});
  EXPECT_EQ(model.CurrentRow(), 1);
}

TEST_F(ChooserTest, FillReadsNumberedTriplesInOrderSkippingEmptyOnes) {
  OpenThreeConnections();
  ChooserModel model(*registry_);
  EXPECT_EQ(model.FillDatabaseList(count_reads_), 3);
  ASSERT_EQ(model.RowCount(), 4);
  EXPECT_EQ(model.Cell(0, 1), "Третья");
  EXPECT_EQ(model.Cell(1, 1), "srv3");
  EXPECT_EQ(model.Cell(0, 2), "Из ini");
  EXPECT_EQ(model.Cell(1, 3), "srv120");
  EXPECT_EQ(model.Cell(0, 3), "");
  EXPECT_EQ(numbers_read_, 200) << "each number read is reported";
}

TEST_F(ChooserTest, FillWithoutKeysFindsNothing) {
  Open();
  ChooserModel model(*registry_);
  EXPECT_EQ(model.FillDatabaseList(count_reads_), 0);
  EXPECT_EQ(model.RowCount(), 2);
  EXPECT_EQ(registry_->Open(kServers), nullptr) << "nothing created";
}

TEST_F(ChooserTest, AListValueThatIsNotTextReadsAsEmpty) {
  Put(kCaptions, "DataBaseCaption3", "Третья");
  Put(kNames, "DataBaseName3", "nurv3");
  Reopen()->Create(kServers)->SetDword("ServerName3", 1);
  Reopen()->Create(kServers)->SetDword("ServerName4", 1);  // nothing else: no connection
  Put(kServers, "ServerName5", "srv5");
  Open();
  ChooserModel model(*registry_);
  EXPECT_EQ(model.FillDatabaseList(count_reads_), 2);
  EXPECT_EQ(model.Cell(0, 1), "Третья");
  EXPECT_EQ(model.Cell(1, 1), "");
  EXPECT_EQ(model.Cell(2, 1), "nurv3");
  EXPECT_EQ(model.Cell(1, 2), "srv5");
}

TEST_F(ChooserTest, SaveRenumbersDescribedRowsAndLeavesUsersAlone) {
  OpenThreeConnections();
  ChooserModel model(*registry_);
  model.FillDatabaseList(count_reads_);
  model.ToggleEditMode();
  // Row 3 has a server and a database but a blank description: not saved.
  model.SetCell(0, 3, "   ");
  EXPECT_EQ(model.SaveToRegistry(), std::nullopt);

  EXPECT_EQ(Numbers(kCaptions, "DataBaseCaption"), (std::vector<int>{1, 2}));
  EXPECT_EQ(Numbers(kServers, "ServerName"), (std::vector<int>{1, 2}));
  EXPECT_EQ(Numbers(kNames, "DataBaseName"), (std::vector<int>{1, 2, 201}))
      << "numbers above 200 are not the list's";
  EXPECT_EQ(Read(kCaptions, "DataBaseCaption1"), "Третья");
  EXPECT_EQ(Read(kNames, "DataBaseName1"), "Учёт_ГЛАВНЫЙ") << "saved as typed";
  EXPECT_EQ(Read(kServers, "ServerName2"), "sqlite:/opt/complex/updates.db");
  EXPECT_EQ(Read(kUsers, "User51"), "ivanov");
  EXPECT_TRUE(model.EditMode()) << "the dialog keeps its mode";

  // Read back by a fresh dialog, as the next run would.
  auto reopened = Reopen();
  ChooserModel next(*reopened);
  EXPECT_EQ(next.FillDatabaseList({}), 2);
  EXPECT_EQ(next.Cell(0, 2), "Из ini");
}

TEST_F(ChooserTest, SaveNeverCreatesKeysJustToEmptyThem) {
  Reopen()->Create(kRoot)->SetDword("Region", 550);
  Open();
  ChooserModel model(*registry_);
  EXPECT_EQ(model.SaveToRegistry(), std::nullopt);  // one empty row: nothing to write
  EXPECT_EQ(registry_->Open(kCaptions), nullptr);
  EXPECT_EQ(registry_->Open(kUsers), nullptr);
}

TEST_F(ChooserTest, ASaveTheRegistryRefusesIsReportedNotRaised) {
  OpenThreeConnections();
  ChooserModel model(*registry_);
  model.FillDatabaseList(count_reads_);
  model.ToggleEditMode();
  test_registry_.MakeUnwritable();
  const std::optional<std::string> error = model.SaveToRegistry();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->rfind("Сохранение в реестре - ОШИБКА\n[", 0), 0u) << *error;
  EXPECT_GT(error->size(), std::string("Сохранение в реестре - ОШИБКА\n[]").size()) << *error;
  EXPECT_EQ(error->back(), ']');
  EXPECT_EQ(model.RowCount(), 4) << "the list stays as typed";
  EXPECT_TRUE(model.EditMode());
}

// The registry kept in memory. The file store rewrites its whole file for every value, so the
// 600-odd values of this case would take minutes under the sanitizers; the list logic is the
// same on any store.
class MemoryRegistry : public platform::Registry {
 public:
  using Values = std::map<std::string, platform::RegValue>;
  class Key : public platform::RegistryKey {
   public:
    explicit Key(Values& values) : values_(values) {}
    std::optional<platform::RegValue> Query(std::string_view name) override {
      const auto it = values_.find(std::string(name));
      if (it == values_.end()) return std::nullopt;
      return it->second;
    }
    void SetString(std::string_view name, std::string_view text) override {
      platform::RegValue value;
      value.type = platform::RegType::Sz;
      value.text = std::string(text);
      values_[std::string(name)] = value;
    }
    void SetDword(std::string_view name, std::uint32_t number) override {
      platform::RegValue value;
      value.type = platform::RegType::Dword;
      value.number = number;
      values_[std::string(name)] = value;
    }
    void DeleteValue(std::string_view name) override { values_.erase(std::string(name)); }

   private:
    Values& values_;
  };
  std::unique_ptr<platform::RegistryKey> Open(std::string_view path) override {
    const auto it = keys.find(std::string(path));
    return it == keys.end() ? nullptr : std::make_unique<Key>(it->second);
  }
  std::unique_ptr<platform::RegistryKey> Create(std::string_view path) override {
    return std::make_unique<Key>(keys[std::string(path)]);
  }
  std::map<std::string, Values> keys;
};

TEST(ChooserLargeListTest, MoreThanTwoHundredRowsAreSavedWhole) {
  MemoryRegistry registry;
  registry.keys[kCaptions]["DataBaseCaption250"].text = "stale";
  ChooserModel model(registry);
  model.ToggleEditMode();
  model.SetCell(0, 1, "c1");
  for (int n = 2; n <= 205; ++n) {
    model.SetCurrent(0, model.RowCount() - 1);
    model.HandleArrowKey(ChooserModel::Key::Down);
    model.SetCell(0, model.RowCount() - 1, "c" + std::to_string(n));
    model.SetCell(2, model.RowCount() - 1, "DB" + std::to_string(n));
  }
  ASSERT_EQ(model.RowCount(), 206);
  EXPECT_EQ(model.SaveToRegistry(), std::nullopt);
  auto& captions = registry.keys[kCaptions];
  EXPECT_EQ(captions.size(), 206u) << "205 rows and the number above 200 that was there";
  EXPECT_EQ(captions["DataBaseCaption205"].text, "c205");
  EXPECT_EQ(registry.keys[kNames]["DataBaseName205"].text, "DB205");
  EXPECT_EQ(registry.keys[kServers].size(), 205u);
  ChooserModel next(registry);
  EXPECT_EQ(next.FillDatabaseList({}), 200) << "only 1..200 are read back";
  EXPECT_EQ(next.Cell(0, 200), "c200");
}

TEST_F(ChooserTest, F4TogglesModes) {
  Open();
  ChooserModel model(*registry_);
  model.ToggleEditMode();
  EXPECT_TRUE(model.EditMode());
  EXPECT_EQ(model.ColumnWidths(), (std::vector<int>{282, 96, 96}));
  model.SetCurrent(2, 1);
  model.ToggleEditMode();
  EXPECT_FALSE(model.EditMode());
  EXPECT_EQ(model.ColumnWidths(), std::vector<int>{476});
  EXPECT_EQ(model.CurrentCol(), 0) << "one column is shown";
  EXPECT_THROW(model.SetCurrent(1, 1), std::out_of_range);
  EXPECT_THROW(model.SetCurrent(0, 0), std::out_of_range) << "the header row";
}

TEST_F(ChooserTest, ArrowRowRulesActOnlyInEditMode) {
  Open();
  ChooserModel model(*registry_);
  using Key = ChooserModel::Key;

  model.SetCell(0, 1, "described");
  model.HandleArrowKey(Key::Down);
  EXPECT_EQ(model.RowCount(), 2) << "view mode adds no row";

  model.ToggleEditMode();
  model.SetCurrent(2, 1);
  model.HandleArrowKey(Key::Down);
  ASSERT_EQ(model.RowCount(), 3);
  EXPECT_EQ(model.CurrentRow(), 2);
  EXPECT_EQ(model.CurrentCol(), 0);
  model.HandleArrowKey(Key::Down);
  EXPECT_EQ(model.RowCount(), 3) << "the new last row has no description";

  model.SetCell(0, 2, "  ");
  model.SetCurrent(1, 1);
  model.HandleArrowKey(Key::Up);
  EXPECT_EQ(model.RowCount(), 2) << "a blank last row goes, wherever the current row is";
  EXPECT_EQ(model.CurrentRow(), 1);
  EXPECT_EQ(model.CurrentCol(), 1);

  model.SetCell(0, 1, "");
  model.HandleArrowKey(Key::Up);
  EXPECT_EQ(model.RowCount(), 2) << "the only connection row stays";

  model.HandleArrowKey(Key::Right);
  model.HandleArrowKey(Key::Right);
  model.HandleArrowKey(Key::Right);
  EXPECT_EQ(model.CurrentCol(), 2);
  model.HandleArrowKey(Key::Left);
  EXPECT_EQ(model.CurrentCol(), 1);
}

TEST_F(ChooserTest, UpFromABlankLastRowMovesAboveIt) {
  Open();
  ChooserModel model(*registry_);
  model.ToggleEditMode();
  model.SetCell(0, 1, "a");
  model.HandleArrowKey(ChooserModel::Key::Down);
  model.SetCell(0, 2, "b");
  model.HandleArrowKey(ChooserModel::Key::Down);
  ASSERT_EQ(model.RowCount(), 4);
  ASSERT_EQ(model.CurrentRow(), 3);
  model.HandleArrowKey(ChooserModel::Key::Up);
  EXPECT_EQ(model.RowCount(), 3);
  EXPECT_EQ(model.CurrentRow(), 1) << "removed, then the usual move up";
}

TEST_F(ChooserTest, MovingKeysOfBothModes) {
  Open();
  using Move = ChooserModel::Move;
  struct Case {
    bool edit;
    int col, row;
    Move move;
    int page_rows, to_col, to_row;
  };
  // Four connection rows; the grid shows two of them at a time.
  const Case cases[] = {
      {false, 0, 3, Move::Home, 2, 0, 1},     {false, 0, 2, Move::End, 2, 0, 4},
      {true, 1, 3, Move::Home, 2, 0, 3},      {true, 1, 3, Move::End, 2, 2, 3},
      {true, 1, 3, Move::CtrlHome, 2, 0, 1},  {true, 1, 2, Move::CtrlEnd, 2, 2, 4},
      {false, 0, 1, Move::PageDown, 2, 0, 3}, {false, 0, 3, Move::PageDown, 2, 0, 4},
      {true, 2, 2, Move::PageUp, 2, 2, 1},    {false, 0, 2, Move::NextCell, 2, 0, 3},
      {false, 0, 4, Move::NextCell, 2, 0, 1}, {false, 0, 1, Move::PreviousCell, 2, 0, 4},
      {true, 2, 1, Move::NextCell, 2, 0, 2},  {true, 0, 2, Move::PreviousCell, 2, 2, 1},
      {true, 2, 4, Move::NextCell, 2, 0, 1},
  };
  for (const Case& c : cases) {
    ChooserModel model(*registry_);
    for (int row = 1; row <= 3; ++row) {
      model.SetCell(0, row, "c" + std::to_string(row));
      model.ToggleEditMode();
      model.SetCurrent(0, row);
      model.HandleArrowKey(ChooserModel::Key::Down);
      model.ToggleEditMode();
    }
    if (c.edit) model.ToggleEditMode();
    model.SetCurrent(c.col, c.row);
    model.MoveCurrent(c.move, c.page_rows);
    EXPECT_EQ(std::pair(model.CurrentCol(), model.CurrentRow()), std::pair(c.to_col, c.to_row))
        << "edit " << c.edit << " from " << c.col << "," << c.row << " move "
        << static_cast<int>(c.move);
  }
}

struct ChooseCase {
  int connections;
  bool switch_db;
  bool dialog;
  bool edit_mode;
};

class ChooseDatabaseTest : public ChooserTest, public ::testing::WithParamInterface<ChooseCase> {};

TEST_P(ChooseDatabaseTest, DialogShownWhenNeeded) {
  const ChooseCase c = GetParam();
  for (int n = 1; n <= c.connections; ++n) {
    const std::string number = std::to_string(n);
    Put(kCaptions, "DataBaseCaption" + number, "Описание " + number);
    Put(kNames, "DataBaseName" + number, "База_Ёлка" + number);
    Put(kServers, "ServerName" + number, "SRV" + number);
  }
  Open();
  ChooserModel model(*registry_);
  const int count = model.FillDatabaseList(count_reads_);
  int shown = 0;
  bool edit_when_shown = false;
  const DatabaseChoice choice = ChooseDatabase(model, count, c.switch_db, [&](ChooserModel& m) {
    ++shown;
    edit_when_shown = m.EditMode();
    if (m.RowCount() > 2) m.SetCurrent(0, 2);
    return true;
  });
  EXPECT_EQ(shown, c.dialog ? 1 : 0);
  EXPECT_EQ(edit_when_shown, c.edit_mode);
  EXPECT_TRUE(choice.accepted);
  if (count == 0) {
    EXPECT_EQ(choice.server, "");
    EXPECT_EQ(choice.database, "");
  } else {
    const int row = count > 1 ? 2 : 1;
    EXPECT_EQ(choice.server, "SRV" + std::to_string(row)) << "as typed";
    EXPECT_EQ(choice.database, "база_ёлка" + std::to_string(row)) << "lower case";
    EXPECT_EQ(choice.caption, "Описание " + std::to_string(row));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ChooseDatabaseTest,
                         ::testing::Values(ChooseCase{1, false, false, false},
                                           ChooseCase{1, true, true, true},
                                           ChooseCase{0, false, true, true},
                                           ChooseCase{3, false, true, false},
                                           ChooseCase{3, true, true, true}));

TEST_F(ChooserTest, CancelStillReadsTheCurrentRow) {
  OpenThreeConnections();
  ChooserModel model(*registry_);
  const int count = model.FillDatabaseList(count_reads_);
  const DatabaseChoice choice = ChooseDatabase(model, count, false, [](ChooserModel& m) {
    m.SetCurrent(0, 2);
    return false;
  });
  EXPECT_FALSE(choice.accepted);
  EXPECT_EQ(choice.server, "sqlite:/opt/complex/updates.db");
  EXPECT_EQ(choice.database, "nurv51");
  EXPECT_EQ(choice.caption, "Из ini");
}

}  // namespace
}  // namespace nurv
