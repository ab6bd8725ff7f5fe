#pragma once
// A complex on disk for one test: Bin/Update/Help/Shablon/Report folders, nurv.ini, an update
// database, and the user's settings, log file, Trash and temporary folder (Windows: the log file
// and the temporary folder) inside the test's own folder, or inside a sub-folder of it with the
// given name (one with blanks, as "Program Files" has). Paths have the platform's separator, as the
// loader builds them.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/native_path.h"
#include "common/scoped_env.h"
#include "common/temp_dir.h"
#include "common/test_registry.h"
#include "common/update_db.h"
#include "platform/registry.h"

namespace nurv::testing {

class ComplexOnDisk {
 public:
  explicit ComplexOnDisk(std::string folder = {},
                         ScopedTestRegistry::Reach reach = ScopedTestRegistry::Reach::kThisProcess)
      : folder_(std::move(folder)), registry_(Path("config"), reach) {
    namespace fs = std::filesystem;
    for (const char* sub :
         {"Bin", "Update", "Help", "Shablon", "Report", "config", "state", "data", "tmp"}) {
      fs::create_directories(Utf8Path(Path(sub)));
    }
#ifdef _WIN32
    env_.Set("TMP", Path("tmp"));
    env_.Set("LOCALAPPDATA", Path("state"));
#else
    env_.Set("XDG_STATE_HOME", Path("state"));
    env_.Set("XDG_DATA_HOME", Path("data"));
    env_.Set("TMPDIR", Path("tmp"));
#endif
  }

  std::string Bin() const { return Path("Bin/"); }
  std::string Path(const std::string& rel) const {
    return Native(root_.Sub(folder_.empty() ? rel : folder_ + "/" + rel));
  }
  std::string Db() const { return Path("updates.db"); }
  // POSIX: the file that holds the registry (ScopedTestRegistry).
  std::string RegistryFile() const { return Path("config/nurv/registry.reg"); }
  std::string Trash(const std::string& rel) const { return Path("data/Trash/" + rel); }
  // The user's log file of the loaders run on this complex.
  std::string LogFile() const {
#ifdef _WIN32
    return Path("state/NURV/Logs/NurvLoader.log");
#else
    return Path("state/nurv/loader.log");
#endif
  }

  void WriteIni(const std::string& server, const std::string& database = "Demo",
                const std::string& caption = "Демо база") const {
    WriteFile(Bin() + "nurv.ini", "[ConfigUser51]\nServer=" + server + "\nDataBase=" + database +
                                      "\nCaption=" + caption +
                                      "\nUser=operator\nRegion=550\nRegion2=1\nRefreshRepl=10\n"
                                      "ShowWordProces=0\nThemeXP=0\n");
  }
  void WriteIniForDb() const { WriteIni(SqliteServerName(Db())); }

  // The registry as a run from WriteIniForDb's nurv.ini leaves it: with every value present, a
  // later run reads it without writing anything.
  void WriteRegistryForDb() const {
    const auto registry = platform::OpenCurrentUserRegistry();
    const auto nurv = registry->Create(kNurvKey);
    nurv->SetDword("Region", 550);
    nurv->SetDword("Region2", 1);
    nurv->SetString("PathProgram", Path("Bin"));
    nurv->SetString("PathUpdate", Path("Update"));
    nurv->SetString("PathHelp", Path("Help"));
    nurv->SetString("PathShablon", Path("Shablon"));
    nurv->SetString("PathReport", Path("Report"));
    nurv->SetDword("ShowWordProces", 0);
    nurv->SetDword("ThemeXP", 0);
    nurv->SetDword("RefreshRepl", 10);
    nurv->SetString("LastUser", "operator");
    registry->Create(kNurvKey + "\\DataBaseCaptions")->SetString("DataBaseCaption51", "Демо база");
    registry->Create(kNurvKey + "\\DataBaseNames")->SetString("DataBaseName51", "Demo");
    registry->Create(kNurvKey + "\\ServerNames")->SetString("ServerName51", SqliteServerName(Db()));
    registry->Create(kNurvKey + "\\Users")->SetString("User51", "operator");
  }
  // The text of `name` in `key` below the loader's key; empty when it is not there.
  std::string RegistryText(const std::string& key, const std::string& name) const {
    const auto open = platform::OpenCurrentUserRegistry()->Open(kNurvKey + key);
    const auto value = open ? open->Query(name) : std::nullopt;
    return value ? value->text : "";
  }
  ScopedTestRegistry& registry() { return registry_; }

  ScopedEnv& env() { return env_; }

 private:
  inline static const std::string kNurvKey = "\\SOFTWARE\\NURVSQL";
  TempDir root_;
  std::string folder_;
  ScopedTestRegistry registry_;
  ScopedEnv env_;
};

}  // namespace nurv::testing
