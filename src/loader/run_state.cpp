#include "loader/run_state.h"

#include <array>
#include <string_view>

#include "base/utf8.h"

namespace nurv {

void ApplySwitches(RunState& state, const std::vector<std::string>& args) {
  struct Switch {
    std::string_view text;
    bool RunState::*flag;
  };
  static constexpr std::array<Switch, 5> kSwitches{{
      {"/loadini", &RunState::SwitchLoadIni},
      {"/db", &RunState::SwitchDb},
      {"/notupdate", &RunState::SwitchNotUpdate},
      {"/info", &RunState::SwitchInfo},
      {"/wait", &RunState::SwitchWait},
  }};
  for (const std::string& arg : args) {
    const std::string lower = LowerCaseText(arg);
    state.ForwardedArgs += " " + lower;
    for (const Switch& s : kSwitches) {
      if (lower.find(s.text) != std::string::npos) state.*s.flag = true;
    }
  }
}

std::string LoaderDirOf(const std::string& executable_path) {
  const std::size_t sep = executable_path.find_last_of("/\\");
  if (sep == std::string::npos) return {};
  return executable_path.substr(0, sep + 1);
}

bool IsWindowsXPProduct(const std::string& product_name) {
  std::string upper = product_name;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return upper.find("WINDOWS XP") != std::string::npos ||
         upper.find("WINDOWS SERVER 2003") != std::string::npos;
}

}  // namespace nurv
