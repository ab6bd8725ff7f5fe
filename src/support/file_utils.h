#pragma once
#include <string>

namespace nurv {

// Clears read-only, hidden and system, sets archive and keeps the other low 16 attribute bits.
// A missing file or a failure is ignored.
void MakeFileWritable(const std::string& path);

// Deletes the file whatever its attributes. False when it was not deleted (a missing file too).
bool ForceDeleteFile(const std::string& path);

// True when anything is at `path`: a file, a folder, or a link (a dangling one too).
bool EntryExists(const std::string& path);
// Removes whatever is at `path`: a file whatever its attributes, a link itself (never what it
// points to), a folder with everything in it. False when something is left.
bool RemoveEntry(const std::string& path);

}  // namespace nurv
