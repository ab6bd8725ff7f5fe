#pragma once
#include <string>

namespace nurv {

// Clears read-only, hidden and system, sets archive and keeps the other low 16 attribute bits.
// A missing file or a failure is ignored.
void MakeFileWritable(const std::string& path);

// Deletes the file whatever its attributes. False when it was not deleted (a missing file too).
bool ForceDeleteFile(const std::string& path);

}  // namespace nurv
