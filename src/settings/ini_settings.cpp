#include "settings/ini_settings.h"

#include <algorithm>
#include <cctype>

#include "base/text_utils.h"
#include "base/update_signature.h"
#include "platform/ini_file.h"
#include "platform/paths.h"

namespace nurv {
namespace {

constexpr const char* kSection = "ConfigUser51";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::int32_t ReadInteger(const std::string& path, const char* key, std::int32_t fallback) {
  return ParseIniInteger(platform::ReadProfileString(path, kSection, key, ""), fallback);
}

bool ReadBool(const std::string& path, const char* key, bool fallback) {
  return ReadInteger(path, key, fallback ? 1 : 0) != 0;
}

}  // namespace

std::int32_t ParseIniInteger(std::string_view text, std::int32_t fallback) {
  std::string normalized;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    normalized = "$";
    normalized += text.substr(2);
    text = normalized;
  }
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const bool hex = !text.empty() && text.front() == '$';
  if (hex) text.remove_prefix(1);
  if (text.empty()) return fallback;
  // Hexadecimal numbers use all 32 bits ($FFFFFFFF is -1); decimal ones must fit the signed range.
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  std::uint64_t magnitude = 0;
  for (char c : text) {
    const int digit = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return fallback;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (magnitude > limit) return fallback;
  }
  const auto bits = static_cast<std::uint32_t>(magnitude);
  return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

std::string DeriveFolder(const std::string& path_program, std::string_view marker,
                         std::string_view folder_word) {
  const auto found =
      std::search(path_program.begin(), path_program.end(), marker.begin(), marker.end(),
                  [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
  if (found == path_program.end() || marker.empty()) return path_program;
  std::string result = path_program;
  result.replace(static_cast<std::size_t>(found - path_program.begin()), marker.size(),
                 folder_word);
  return result;
}

TrustedKeySettings ReadTrustedKeyLines(const std::string& path) {
  TrustedKeySettings trusted;
  for (int i = 1; i <= 9; ++i) {
    const std::string key = "TrustedKey" + std::to_string(i);
    std::optional<std::string> line = platform::ReadProfileValue(path, "Security", key);
    if (!line) continue;
    if (!ParsePublicKeyLine(*line) && !trusted.invalid_entry) trusted.invalid_entry = key;
    trusted.lines.push_back(std::move(*line));
  }
  return trusted;
}

SettingsRecord ReadIniFile(const std::string& path, const std::string& loader_dir) {
  SettingsRecord settings;
  settings.Server = platform::ReadProfileString(path, kSection, "Server", "");
  settings.DataBase = platform::ReadProfileString(path, kSection, "DataBase", "");
  settings.Caption = platform::ReadProfileString(path, kSection, "Caption", "");
  settings.User = platform::ReadProfileString(path, kSection, "User", "");
  // The 16-bit fields keep the low bits, as the record's word fields do.
  settings.Region = static_cast<std::uint16_t>(ReadInteger(path, "Region", 0));
  settings.Region2 = static_cast<std::uint16_t>(ReadInteger(path, "Region2", 0));
  settings.RefreshRepl = static_cast<std::uint16_t>(ReadInteger(path, "RefreshRepl", 10));
  settings.ShowWordProces = ReadBool(path, "ShowWordProces", false);
  settings.ThemeXP = ReadBool(path, "ThemeXP", true);

  settings.PathProgram = loader_dir;
  if (!settings.PathProgram.empty() && settings.PathProgram.back() == platform::kPathDelim) {
    settings.PathProgram.pop_back();
  }
  const std::string_view marker = loader_dir.find("Source") != std::string::npos ? "Source" : "Bin";
  settings.PathUpdate = DeriveFolder(settings.PathProgram, marker, "Update");
  settings.PathHelp = DeriveFolder(settings.PathProgram, marker, "Help");
  settings.PathShablon = DeriveFolder(settings.PathProgram, marker, "Shablon");
  settings.PathReport = DeriveFolder(settings.PathProgram, marker, "Report");
  return settings;
}

}  // namespace nurv
