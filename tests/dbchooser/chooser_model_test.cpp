// The chooser on a real .reg file through the POSIX registry.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "common/recording_services.h"
#include "common/temp_dir.h"
#include "dbchooser/chooser_model.h"
#include "platform/posix/reg_file_registry.h"

namespace nurv {
namespace {

constexpr char kRoot[] = "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL";

class ChooserTest : public ::testing::Test {
 protected:
  ChooserTest() {
    // Every change of the store is flushed to disk; a memory-backed folder keeps the 600-odd
    // writes of a large save quick where there is one.
    if (std::filesystem::is_directory("/dev/shm")) {
      shm_dir_ = "/dev/shm/nurv-chooser-" + std::to_string(::getpid());
      std::filesystem::create_directories(shm_dir_);
      path_ = shm_dir_ + "/registry.reg";
    }
  }
  ~ChooserTest() override {
    std::error_code ignored;
    if (!shm_dir_.empty()) std::filesystem::remove_all(shm_dir_, ignored);
  }

  // Writes a store holding `body` after the header and opens it.
  void Store(const std::string& body) {
    testing::WriteFile(path_, "Windows Registry Editor Version 5.00\r\n\r\n" + body);
    registry_ = platform::OpenRegistryFile(path_);
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
  std::string shm_dir_;
  std::string path_ = dir_.Sub("registry.reg");
  std::unique_ptr<platform::Registry> registry_;
  testing::RecordingServices ui_;
};

constexpr char kThreeConnections[] =
    "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\DataBaseCaptions]\r\n"
    "\"DataBaseCaption3\"=\"Третья\"\r\n"
    "\"DataBaseCaption51\"=\"Из ini\"\r\n"
    "\"DataBaseCaption120\"=\"\"\r\n"
    "\"DataBaseCaption7\"=\"\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames]\r\n"
    "\"ServerName3\"=\"srv3\"\r\n"
    "\"ServerName51\"=\"sqlite:/opt/complex/updates.db\"\r\n"
    "\"ServerName120\"=\"srv120\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\DataBaseNames]\r\n"
    "\"DataBaseName3\"=\"Учёт_ГЛАВНЫЙ\"\r\n"
    "\"DataBaseName51\"=\"NURV51\"\r\n"
    "\"DataBaseName120\"=\"\"\r\n"
    "\"DataBaseName201\"=\"beyond\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\Users]\r\n"
    "\"User51\"=\"ivanov\"\r\n";

TEST_F(ChooserTest, FormCreateState) {
  Store("");
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
  Store(kThreeConnections);
  ChooserModel model(*registry_);
  EXPECT_EQ(model.FillDatabaseList(ui_), 3);
  ASSERT_EQ(model.RowCount(), 4);
  EXPECT_EQ(model.Cell(0, 1), "Третья");
  EXPECT_EQ(model.Cell(1, 1), "srv3");
  EXPECT_EQ(model.Cell(0, 2), "Из ini");
  EXPECT_EQ(model.Cell(1, 3), "srv120");
  EXPECT_EQ(model.Cell(0, 3), "");
  EXPECT_EQ(ui_.statuses.size(), 200u);
  EXPECT_EQ(ui_.statuses.front(), "Заполнение таблицы серверов...");
  EXPECT_EQ(ui_.log, std::vector<std::string>{"Заполнение таблицы серверов - OK"});
}

TEST_F(ChooserTest, FillWithoutKeysFindsNothing) {
  Store("");
  ChooserModel model(*registry_);
  EXPECT_EQ(model.FillDatabaseList(ui_), 0);
  EXPECT_EQ(model.RowCount(), 2);
  EXPECT_EQ(registry_->Open("\\SOFTWARE\\NURVSQL\\ServerNames"), nullptr) << "nothing created";
}

TEST_F(ChooserTest, AListValueThatIsNotTextRaises) {
  Store(std::string(kRoot) + "\\ServerNames]\r\n\"ServerName4\"=dword:00000001\r\n");
  ChooserModel model(*registry_);
  EXPECT_THROW(model.FillDatabaseList(ui_), platform::RegistryError);
}

TEST_F(ChooserTest, SaveRenumbersDescribedRowsAndLeavesUsersAlone) {
  Store(kThreeConnections);
  ChooserModel model(*registry_);
  model.FillDatabaseList(ui_);
  model.PutF4();
  // Row 3 has a server and a database but a blank description: not saved.
  model.SetCell(0, 3, "   ");
  model.ButtonEditClick();

  const std::string captions = "\\SOFTWARE\\NURVSQL\\DataBaseCaptions";
  const std::string servers = "\\SOFTWARE\\NURVSQL\\ServerNames";
  const std::string names = "\\SOFTWARE\\NURVSQL\\DataBaseNames";
  EXPECT_EQ(Numbers(captions, "DataBaseCaption"), (std::vector<int>{1, 2}));
  EXPECT_EQ(Numbers(servers, "ServerName"), (std::vector<int>{1, 2}));
  EXPECT_EQ(Numbers(names, "DataBaseName"), (std::vector<int>{1, 2, 201}))
      << "numbers above 200 are not the list's";
  EXPECT_EQ(Read(captions, "DataBaseCaption1"), "Третья");
  EXPECT_EQ(Read(names, "DataBaseName1"), "Учёт_ГЛАВНЫЙ") << "saved as typed";
  EXPECT_EQ(Read(servers, "ServerName2"), "sqlite:/opt/complex/updates.db");
  EXPECT_EQ(Read("\\SOFTWARE\\NURVSQL\\Users", "User51"), "ivanov");
  EXPECT_TRUE(model.EditMode()) << "the dialog keeps its mode";
  EXPECT_EQ(ui_.log.size(), 1u) << "the save logs nothing";

  // Read back by a fresh dialog, as the next run would.
  auto reopened = platform::OpenRegistryFile(path_);
  ChooserModel next(*reopened);
  testing::RecordingServices ui;
  EXPECT_EQ(next.FillDatabaseList(ui), 2);
  EXPECT_EQ(next.Cell(0, 2), "Из ini");
}

TEST_F(ChooserTest, SaveNeverCreatesKeysJustToEmptyThem) {
  Store(std::string(kRoot) + "]\r\n\"Region\"=dword:00000226\r\n");
  ChooserModel model(*registry_);
  model.ButtonEditClick();  // one empty row: nothing to write
  EXPECT_EQ(registry_->Open("\\SOFTWARE\\NURVSQL\\DataBaseCaptions"), nullptr);
  EXPECT_EQ(registry_->Open("\\SOFTWARE\\NURVSQL\\Users"), nullptr);
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
  registry.keys["\\SOFTWARE\\NURVSQL\\DataBaseCaptions"]["DataBaseCaption250"].text = "stale";
  ChooserModel model(registry);
  model.PutF4();
  model.SetCell(0, 1, "c1");
  for (int n = 2; n <= 205; ++n) {
    model.SetCurrent(0, model.RowCount() - 1);
    model.GridKeyDown(ChooserModel::Key::Down);
    model.SetCell(0, model.RowCount() - 1, "c" + std::to_string(n));
    model.SetCell(2, model.RowCount() - 1, "DB" + std::to_string(n));
  }
  ASSERT_EQ(model.RowCount(), 206);
  model.ButtonEditClick();
  auto& captions = registry.keys["\\SOFTWARE\\NURVSQL\\DataBaseCaptions"];
  EXPECT_EQ(captions.size(), 206u) << "205 rows and the number above 200 that was there";
  EXPECT_EQ(captions["DataBaseCaption205"].text, "c205");
  EXPECT_EQ(registry.keys["\\SOFTWARE\\NURVSQL\\DataBaseNames"]["DataBaseName205"].text, "DB205");
  EXPECT_EQ(registry.keys["\\SOFTWARE\\NURVSQL\\ServerNames"].size(), 205u);
  ChooserModel next(registry);
  testing::RecordingServices ui;
  EXPECT_EQ(next.FillDatabaseList(ui), 200) << "only 1..200 are read back";
  EXPECT_EQ(next.Cell(0, 200), "c200");
}

TEST_F(ChooserTest, F4TogglesModes) {
  Store("");
  ChooserModel model(*registry_);
  model.PutF4();
  EXPECT_TRUE(model.EditMode());
  EXPECT_EQ(model.ColumnWidths(), (std::vector<int>{282, 96, 96}));
  model.SetCurrent(2, 1);
  model.PutF4();
  EXPECT_FALSE(model.EditMode());
  EXPECT_EQ(model.ColumnWidths(), std::vector<int>{476});
  EXPECT_EQ(model.CurrentCol(), 0) << "one column is shown";
  EXPECT_THROW(model.SetCurrent(1, 1), std::out_of_range);
  EXPECT_THROW(model.SetCurrent(0, 0), std::out_of_range) << "the header row";
}

TEST_F(ChooserTest, ArrowRowRulesActOnlyInEditMode) {
  Store("");
  ChooserModel model(*registry_);
  using Key = ChooserModel::Key;

  model.SetCell(0, 1, "described");
  model.GridKeyDown(Key::Down);
  EXPECT_EQ(model.RowCount(), 2) << "view mode adds no row";

  model.PutF4();
  model.SetCurrent(2, 1);
  model.GridKeyDown(Key::Down);
  ASSERT_EQ(model.RowCount(), 3);
  EXPECT_EQ(model.CurrentRow(), 2);
  EXPECT_EQ(model.CurrentCol(), 0);
  model.GridKeyDown(Key::Down);
  EXPECT_EQ(model.RowCount(), 3) << "the new last row has no description";

  model.SetCell(0, 2, "  ");
  model.SetCurrent(1, 1);
  model.GridKeyDown(Key::Up);
  EXPECT_EQ(model.RowCount(), 2) << "a blank last row goes, wherever the current row is";
  EXPECT_EQ(model.CurrentRow(), 1);
  EXPECT_EQ(model.CurrentCol(), 1);

  model.SetCell(0, 1, "");
  model.GridKeyDown(Key::Up);
  EXPECT_EQ(model.RowCount(), 2) << "the only connection row stays";

  model.GridKeyDown(Key::Right);
  model.GridKeyDown(Key::Right);
  model.GridKeyDown(Key::Right);
  EXPECT_EQ(model.CurrentCol(), 2);
  model.GridKeyDown(Key::Left);
  EXPECT_EQ(model.CurrentCol(), 1);
}

TEST_F(ChooserTest, UpFromABlankLastRowMovesAboveIt) {
  Store("");
  ChooserModel model(*registry_);
  model.PutF4();
  model.SetCell(0, 1, "a");
  model.GridKeyDown(ChooserModel::Key::Down);
  model.SetCell(0, 2, "b");
  model.GridKeyDown(ChooserModel::Key::Down);
  ASSERT_EQ(model.RowCount(), 4);
  ASSERT_EQ(model.CurrentRow(), 3);
  model.GridKeyDown(ChooserModel::Key::Up);
  EXPECT_EQ(model.RowCount(), 3);
  EXPECT_EQ(model.CurrentRow(), 1) << "removed, then the usual move up";
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
  std::string body = std::string(kRoot) + "\\DataBaseCaptions]\r\n";
  for (int n = 1; n <= c.connections; ++n)
    body +=
        "\"DataBaseCaption" + std::to_string(n) + "\"=\"Описание " + std::to_string(n) + "\"\r\n";
  body += "\r\n" + std::string(kRoot) + "\\DataBaseNames]\r\n";
  for (int n = 1; n <= c.connections; ++n)
    body += "\"DataBaseName" + std::to_string(n) + "\"=\"База_Ёлка" + std::to_string(n) + "\"\r\n";
  body += "\r\n" + std::string(kRoot) + "\\ServerNames]\r\n";
  for (int n = 1; n <= c.connections; ++n)
    body += "\"ServerName" + std::to_string(n) + "\"=\"SRV" + std::to_string(n) + "\"\r\n";
  Store(body);
  ChooserModel model(*registry_);
  const int count = model.FillDatabaseList(ui_);
  int shown = 0;
  bool edit_when_shown = false;
  const DatabaseChoice choice =
      ChooseDatabase(model, count, c.switch_db, ui_, [&](ChooserModel& m) {
        ++shown;
        edit_when_shown = m.EditMode();
        if (m.RowCount() > 2) m.SetCurrent(0, 2);
        return true;
      });
  EXPECT_EQ(ui_.statuses.back(), "Выбор базы данных для подключения...");
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
  Store(kThreeConnections);
  ChooserModel model(*registry_);
  const int count = model.FillDatabaseList(ui_);
  const DatabaseChoice choice = ChooseDatabase(model, count, false, ui_, [](ChooserModel& m) {
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
