#pragma once
// The patches nurv-publish writes into UpdatesDelta beside a release's rows: from the file each
// row replaces and from older releases an administrator names, to the file the row lands.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "db/database.h"
#include "publish/work_folder.h"
#include "rules/module_catalogue.h"

namespace nurv::publish {

// CREATE TABLE UpdatesDelta in `engine`'s types.
std::string CreateDeltaTableStatement(db::Engine engine);
bool DeltaTableExists(db::Connection& connection);

// The files the rows of `module` in the table land as, saved into `work` before the rows are
// replaced: by row name (an archived row's first item), to serve as bases of the new rows' patches.
std::vector<std::pair<std::string, std::string>> ReplacedFiles(db::Connection& connection,
                                                               const ModuleEntry& module,
                                                               const WorkFolder& work);

// Writes, in the caller's transaction, a patch from each of `bases` (files that exist; one per
// distinct size and CRC-32) to `landed`, the file the row `vcode` lands as, whose `fblob` is
// `blob`. A patch is kept only when it is below half the size of `fblob` and of the file
// compressed on its own, and only for files within kMaxPatchedFileSize. The number written.
int InsertPatches(db::Connection& connection, std::int64_t vcode, const std::string& landed,
                  const std::string& blob, const std::vector<std::string>& bases,
                  const WorkFolder& work);

// One line per patch, in vcode order: vcode, "разность", the base's size and CRC-32, the size of
// the patch, separated by tabs.
void ListPatches(db::Connection& connection, std::ostream& out);

}  // namespace nurv::publish
