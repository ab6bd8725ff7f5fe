#pragma once
#include <string>

#include "platform/version_info.h"

namespace nurv {

// Product version of the named executable; false (and `version` untouched) when it has none.
bool ReadFileProductVersion(const std::string& path, platform::FourPartVersion& version);
// Product version of the running executable; false (and `version` untouched) when it has none.
bool ReadOwnProductVersion(platform::FourPartVersion& version);

// File version of the running executable from the first 56 bytes of its version resource "#1".
// Any failure leaves `version` as it was.
void ReadOwnFileVersion(platform::FourPartVersion& version);

// "6.2.0.15": the four numbers in decimal, without leading zeros, joined by ".".
std::string VersionText(const platform::FourPartVersion& version);

}  // namespace nurv
