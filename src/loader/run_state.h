#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "loader/update_result.h"
#include "platform/version_info.h"
#include "settings/settings_record.h"

namespace nurv {

// The run-wide state of the main unit, one instance per run, with its start values.
struct RunState {
  std::string LoaderDir;  // folder of the loader's own executable, ending in a separator
  bool IsWindowsXP = false;
  bool SwitchLoadIni = false;
  bool SwitchDb = false;
  bool SwitchNotUpdate = false;
  bool SwitchInfo = false;
  bool SwitchWait = false;
  std::string ForwardedArgs = " /loader";
  std::string LaunchArgs;
  std::string SelectedServer;
  std::string SelectedDataBase;
  std::string SelectedCaption;
  nurv::StageResult UpdateResult = nurv::StageResult::NotRequired;
  FourPartVersion OwnFileVersion;
  std::string AvailableVersion;
  std::string AvailableLoaderVersion;
  std::string InstalledVersion;
  std::string InstalledLoaderVersion;
  // The four numbers behind the two installed version texts; the update decision compares them.
  FourPartVersion InstalledNumbers;
  FourPartVersion InstalledLoaderNumbers;
  SettingsRecord LoaderSettings;
  SettingsRecord IniSettings;
  // The [Security] keys of nurv.ini that every update row must be signed with; none: unsigned rows.
  std::vector<std::string> TrustedKeyLines;
  bool InitFailed = false;
};

// Every argument is forwarded in lower case (LowerCaseText); each switch text found anywhere
// inside the lower-cased argument sets its flag, and nothing clears one.
void ApplySwitches(RunState& state, const std::vector<std::string>& args);

// Folder part of the executable's full path, with its final separator ("/" or "\").
std::string LoaderDirOf(const std::string& executable_path);

// The product name, upper-cased, names Windows XP or Windows Server 2003.
bool IsWindowsXPProduct(const std::string& product_name);

}  // namespace nurv
