#pragma once
#include <string>

#include "platform/version_info.h"

namespace nurv {

// Product version of the named executable; false (and `version` untouched) when it has none.
bool ReadFileProductVersion(const std::string& path, FourPartVersion& version);
// Product version of the running executable; false (and `version` untouched) when it has none.
bool ReadOwnProductVersion(FourPartVersion& version);

// File version of the running executable from the first 56 bytes of its version resource "#1".
// Any failure leaves `version` as it was.
void ReadOwnFileVersion(FourPartVersion& version);

}  // namespace nurv
