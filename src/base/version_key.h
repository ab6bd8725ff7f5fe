#pragma once
#include <string>

#include "base/four_part_version.h"

namespace nurv {

// The comparable key of a version text: each dot-separated part padded to three digits, joined
// without separators ("5.1.10.2" → "005001010002"); an empty text gives an empty key.
std::string VersionKey(const std::string& version);
// The key of a file's four version numbers ("0.0.0.0" → "000000000000").
std::string VersionKey(const FourPartVersion& version);

// The version rule: the available key is newer when the installed key is less, compared as plain
// character strings (a prefix is the smaller).
bool IsNewer(const std::string& installed_key, const std::string& available_key);

}  // namespace nurv
