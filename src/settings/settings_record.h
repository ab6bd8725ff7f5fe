#pragma once
#include <cstdint>
#include <string>

namespace nurv {

// The settings record; two instances: `IniSettings` (from nurv.ini) and `LoaderSettings` (the
// settings in force, read back from the registry). Fields in their declared order.
struct SettingsRecord {
  std::string PathProgram;
  std::string PathShablon;
  std::string PathReport;
  std::string PathUpdate;
  std::string PathHelp;
  std::string PathTemp;
  std::string User;
  std::string Password;
  std::string DataBase;
  std::string Server;
  std::string Caption;
  bool ShowWordProces = false;
  bool ThemeXP = false;
  std::uint16_t Region = 0;
  std::uint16_t Region2 = 0;
  std::uint16_t RefreshRepl = 0;
};

}  // namespace nurv
