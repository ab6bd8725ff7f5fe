#pragma once
// Creation of 7z archives through 7-Zip's own library, the one the loader unpacks with.
#include <string>
#include <vector>

#include "support/sevenzip_archive.h"

namespace nurv {

// Packs the file `source_path` into a new 7z archive at `archive_path` (replacing a file there)
// whose only item is named `item_name` and keeps the source's modification time and attributes
// (on POSIX also its Unix mode), through the library's archive-creation interface. The library is
// the first usable one of `library_candidates`. SevenZipLoadError when none is usable;
// std::runtime_error when the archive cannot be made, and then no archive is left behind.
void CreateSingleItemArchive(const std::string& archive_path, const std::string& source_path,
                             const std::string& item_name,
                             const std::vector<std::string>& library_candidates);

}  // namespace nurv
