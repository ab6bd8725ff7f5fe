#pragma once
// A complex on disk for one test: Bin/Update/Help/Shablon/Report folders, nurv.ini, an update
// database, and the user's settings, Trash and temporary folder inside the test's own folder.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "common/update_db.h"

namespace nurv::testing {

// Sets environment variables for one scope and restores them afterwards.
class ScopedEnv {
  static void Put(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
  }
  static void Remove(const std::string& name) {
#ifdef _WIN32
    _putenv_s(name.c_str(), "");  // an empty value removes the variable there
#else
    unsetenv(name.c_str());
#endif
  }

 public:
  ScopedEnv() = default;
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    for (const auto& [name, old] : saved_) {
      if (old.first) {
        Put(name, old.second);
      } else {
        Remove(name);
      }
    }
  }
  void Set(const std::string& name, const std::string& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = {old != nullptr, old ? old : ""};
    }
    Put(name, value);
  }

 private:
  std::map<std::string, std::pair<bool, std::string>> saved_;
};

class ComplexOnDisk {
 public:
  ComplexOnDisk() {
    namespace fs = std::filesystem;
    for (const char* sub :
         {"Bin", "Update", "Help", "Shablon", "Report", "config", "data", "tmp"}) {
      fs::create_directories(root_.Sub(sub));
    }
    env_.Set("XDG_CONFIG_HOME", root_.Sub("config"));
    env_.Set("XDG_DATA_HOME", root_.Sub("data"));
    env_.Set("TMPDIR", root_.Sub("tmp"));
  }

  std::string Bin() const { return root_.Sub("Bin") + "/"; }
  std::string Path(const std::string& rel) const { return root_.Sub(rel); }
  std::string Db() const { return root_.Sub("updates.db"); }
  std::string RegistryFile() const { return root_.Sub("config/nurv/registry.reg"); }
  std::string Trash(const std::string& rel) const { return root_.Sub("data/Trash/" + rel); }

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
    std::filesystem::create_directories(Path("config/nurv"));
    WriteFile(RegistryFile(),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\r\n"
              "\"Region\"=dword:00000226\r\n\"Region2\"=dword:00000001\r\n"
              "\"PathProgram\"=\"" +
                  Path("Bin") +
                  "\"\r\n"
                  "\"PathUpdate\"=\"" +
                  Path("Update") +
                  "\"\r\n"
                  "\"PathHelp\"=\"" +
                  Path("Help") +
                  "\"\r\n"
                  "\"PathShablon\"=\"" +
                  Path("Shablon") +
                  "\"\r\n"
                  "\"PathReport\"=\"" +
                  Path("Report") +
                  "\"\r\n"
                  "\"ShowWordProces\"=dword:00000000\r\n\"ThemeXP\"=dword:00000000\r\n"
                  "\"RefreshRepl\"=dword:0000000a\r\n\"LastUser\"=\"operator\"\r\n\r\n"
                  "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\DataBaseCaptions]\r\n"
                  "\"DataBaseCaption51\"=\"Демо база\"\r\n\r\n"
                  "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\DataBaseNames]\r\n"
                  "\"DataBaseName51\"=\"Demo\"\r\n\r\n"
                  "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames]\r\n"
                  "\"ServerName51\"=\"" +
                  SqliteServerName(Db()) +
                  "\"\r\n\r\n"
                  "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\Users]\r\n"
                  "\"User51\"=\"operator\"\r\n");
  }

  ScopedEnv& env() { return env_; }

 private:
  TempDir root_;
  ScopedEnv env_;
};

}  // namespace nurv::testing
