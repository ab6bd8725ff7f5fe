#pragma once
// Shared set-up of the update engine's tests: a real SQLite update table, the loader's folders in a
// temporary folder, and the recording window.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/fake_ui.h"
#include "common/native_path.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "db/database.h"
#include "loader/catalogue_filter.h"
#include "loader/update_context.h"
#include "loader/update_result.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "settings/settings_record.h"
#include "support/sevenzip_fixture.h"

namespace nurv::testing {

// A stage's result as its number, as the tests state it.
inline int Code(StageResult result) { return static_cast<int>(result); }

// A civil local date-time.
inline DateTime LocalTime(int y, unsigned mo, unsigned d, int h, int mi, int s) {
  using namespace std::chrono;
  return local_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

inline void SetFileTime(const std::string& path, DateTime time) {
  ASSERT_TRUE(platform::WriteModifiedTime(path, time)) << path;
}

inline DateTime FileTime(const std::string& path) {
  const auto time = platform::ReadModifiedTime(path);
  return time ? *time : DateTime{};
}

inline void SetReadOnly(const std::string& path) {
  std::filesystem::permissions(path,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
}

// The names in `folder` (not recursive), sorted.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(folder, error))
    names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A 7z archive made by the `7z` command holding `item_name` with `bytes`; returns its bytes.
inline std::string Make7z(const TempDir& dir, const std::string& item_name,
                          const std::string& bytes) {
  const std::string work = dir.Sub("7zwork");
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work);
  WriteFile(work + "/" + item_name, bytes);
  if (!Run7z(work, "a -y -bso0 -bsp0 item.7z " + ShellArg(item_name))) {
    ADD_FAILURE() << "7z failed for " << item_name << " in " << work;
  }
  std::string archive = ReadFile(work + "/item.7z");
  std::filesystem::remove_all(work);
  return archive;
}

class UpdateTest : public ::testing::Test {
 protected:
  UpdateTest() {
    for (const char* folder :
         {"Bin", "Bin/locales", "Bin/swiftshader", "Update", "Help", "Shablon", "Temp"})
      std::filesystem::create_directories(dir.Sub(folder));
    settings.PathProgram = dir.Sub("Bin") + platform::kPathDelim;
    settings.PathUpdate = dir.Sub("Update");
    settings.PathHelp = dir.Sub("Help");
    settings.PathShablon = dir.Sub("Shablon");
    settings.PathTemp = dir.Sub("Temp");
  }

  // (Re)creates the update table with `rows` and opens the connection and the catalogue on it.
  void Serve(const std::vector<UpdateRow>& rows) {
    catalogue.reset();
    connection = std::make_unique<db::Connection>();
    CreateUpdateDatabase(db_path, rows);
    connection->SetParams({SqliteServerName(db_path), "nurv", "NurvLoader", "x"});
    connection->Open();
    catalogue = connection->OpenDataset(std::string(kCatalogueQuery));
  }

  UpdateContext& Ctx() {
    ctx = std::make_unique<UpdateContext>(
        UpdateContext{ui, *connection, *catalogue, settings, system_folder});
    return *ctx;
  }

  // Runs SQL on the table behind the loader's back (a second writer).
  void Sql(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(db_path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
  }

  std::string Bin(const std::string& name) const { return settings.PathProgram + name; }

  TempDir dir;
  std::string db_path = dir.Sub("updates.db");
  SettingsRecord settings;
  std::string system_folder = platform::SystemFolder();
  FakeUi ui;
  std::unique_ptr<db::Connection> connection;
  std::unique_ptr<db::Dataset> catalogue;
  std::unique_ptr<UpdateContext> ctx;
};

// A row with the bytes stored plain and their checksum.
inline UpdateRow PlainRow(std::int64_t vcode, const std::string& tdoc, const std::string& name,
                          const std::string& bytes, const std::string& updatedate) {
  UpdateRow row;
  row.vcode = vcode;
  row.tdoc = tdoc;
  row.name = name;
  row.caption = static_cast<std::int64_t>(Crc32Of(bytes));
  row.updatedate = updatedate;
  row.fblob = bytes;
  return row;
}

}  // namespace nurv::testing
