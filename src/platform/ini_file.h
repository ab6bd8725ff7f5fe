#pragma once
#include <optional>
#include <string>

namespace nurv::platform {

// One key of one section of an initialisation file, with GetPrivateProfileString's rules:
// section and key match without regard to case, the value is trimmed, one pair of enclosing
// quotes is removed, at most 2047 characters are returned; a missing file, section or key gives
// `fallback`. Texts are returned as UTF-8.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& fallback);

// The same value, or nullopt when the file, the section or the key is missing: a key that is
// there with nothing after its "=" reads as "", unlike one that is not there.
std::optional<std::string> ReadProfileValue(const std::string& path, const std::string& section,
                                            const std::string& key);

}  // namespace nurv::platform
