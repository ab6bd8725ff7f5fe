#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_record.h"

namespace nurv {

// The settings of section "ConfigUser51" of the initialisation file at `path`; the folders are
// derived from `loader_dir` (the loader's folder, ending in the path separator). Missing keys
// and values that are not numbers take their defaults silently.
SettingsRecord ReadIniFile(const std::string& path, const std::string& loader_dir);

// The public keys the workstation trusts for signed updates: the values of TrustedKey1 to
// TrustedKey9 of section "Security" that are there, in that order. Only nurv.ini holds them, never
// the registry.
struct TrustedKeySettings {
  std::vector<std::string> lines;
  // The first entry ("TrustedKey2") that is there but holds no key line, an empty one included:
  // it was meant to turn the check on, so the run must not go on as if it were not there.
  std::optional<std::string> invalid_entry;
};
TrustedKeySettings ReadTrustedKeyLines(const std::string& path);

// An integer key's text as the profile functions read it: "0x"/"0X" followed by hexadecimal
// digits when longer than two characters, otherwise a signed decimal number or "$" and
// hexadecimal digits, within 32 bits; anything else gives `fallback`.
std::int32_t ParseIniInteger(std::string_view text, std::int32_t fallback);

// `path_program` with the first occurrence of `marker`, found without regard to case, replaced
// by `folder_word`; unchanged when the marker does not occur.
std::string DeriveFolder(const std::string& path_program, std::string_view marker,
                         std::string_view folder_word);

}  // namespace nurv
