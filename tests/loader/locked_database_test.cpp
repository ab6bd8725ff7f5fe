// An update database that another connection locks while the loader walks its rows.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

#include "loader/update_groups.h"
#include "loader/update_plain.h"
#include "update_fixture.h"

namespace nurv {
namespace {

using namespace testing;

class LockedDatabase : public UpdateTest {
 protected:
  ~LockedDatabase() override { sqlite3_close(writer_); }  // its transaction is rolled back

  // The loader's connection, waiting one second in all for other connections' locks, and the
  // catalogue read before the writer comes.
  void Connect() {
    catalogue.reset();
    connection = std::make_unique<db::Connection>();
    connection->SetParams({SqliteServerName(db_path), "nurv", "NurvLoader", "x", 1});
    connection->Open();
    catalogue = connection->OpenDataset(std::string(kCatalogueQuery));
  }

  // A second connection takes the file's exclusive lock and keeps it until Unlock.
  void Lock() {
    ASSERT_EQ(sqlite3_open(db_path.c_str(), &writer_), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  void Unlock() {
    sqlite3_close(writer_);
    writer_ = nullptr;
  }

  long LoggedFailures() const {
    const auto& log = ui.Log();
    return std::count_if(log.begin(), log.end(), [](const std::string& line) {
      return line.starts_with("ОШИБКА выгрузки файла: ");
    });
  }

  sqlite3* writer_ = nullptr;
};

TEST_F(LockedDatabase, EachStageFailsOnceAndTheNextRunWritesEverything) {
  const std::string day = "2024-05-01 10:00:00";
  CreateUpdateDatabase(db_path,
                       {PlainRow(1, "DOC", "a", "A", day), PlainRow(2, "DOC", "b", "B", day),
                        PlainRow(3, "DOC", "c", "C", day), PlainRow(4, "BAT", "", "1", day),
                        PlainRow(5, "BAT", "", "2", "2024-05-02 10:00:00")});
  Connect();
  Lock();
  int templates = Code(UpdateFileGroup(Ctx(), ModuleByCode("DOC")));
  int batch = Code(UpdatePlainModule(Ctx(), ModuleByCode("BAT")));
  EXPECT_EQ(templates, 9);
  EXPECT_EQ(batch, 9);
  // The walk stops at the first row that meets the lock: one row tried per stage.
  EXPECT_EQ(LoggedFailures(), 2);
  EXPECT_TRUE(std::any_of(ui.Log().begin(), ui.Log().end(), [](const std::string& line) {
    return line.find("database is locked") != std::string::npos;
  }));
  EXPECT_EQ(FolderNames(settings.PathShablon), std::vector<std::string>{});
  EXPECT_FALSE(platform::FileExists(Bin("nurvrun.bat")));

  Unlock();
  Connect();
  templates = Code(UpdateFileGroup(Ctx(), ModuleByCode("DOC")));
  batch = Code(UpdatePlainModule(Ctx(), ModuleByCode("BAT")));
  EXPECT_EQ(templates, 1);
  EXPECT_EQ(batch, 1);
  EXPECT_EQ(FolderNames(settings.PathShablon),
            (std::vector<std::string>{"a.doc", "b.doc", "c.doc"}));
  EXPECT_EQ(ReadFile(Bin("nurvrun.bat")), "2");
}

}  // namespace
}  // namespace nurv
