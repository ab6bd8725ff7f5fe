#include "loader/run_state.h"

#include <array>
#include <string_view>

namespace nurv {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t LowerOf(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // Latin-1, without ×
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;             // А–Я
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;             // Ѐ–Џ, Ё among them
  return c;
}

}  // namespace

std::string LowerCaseText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
      out += static_cast<char>(LowerOf(b0));
      ++i;
      continue;
    }
    // Only two-byte sequences hold letters that change here; everything else is copied.
    if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2 && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      const char32_t c = (static_cast<char32_t>(b0 & 0x1F) << 6) |
                         (static_cast<unsigned char>(text[i + 1]) & 0x3F);
      AppendUtf8(out, LowerOf(c));
      i += 2;
      continue;
    }
    out += text[i];
    ++i;
  }
  return out;
}

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
