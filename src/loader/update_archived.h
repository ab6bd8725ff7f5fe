#pragma once
#include <string>

#include "loader/update_context.h"
#include "loader/update_result.h"
#include "rules/module_catalogue.h"

namespace nurv {

// Brings `destination` up to date from the first row of `entry`, whose `fblob` is a 7z archive
// with the module as its first item: the archive is written to the temporary folder under the
// module's file name with the extension ".7z" (ArchivePath), its first item unpacked there under
// the module's file name (UnpackedPath; only a regular file counts), checked against the row's
// `caption`, then copied beside `destination` and renamed over it in one step. Version rule, or
// date rule for a module of rule Date. Whatever is at the archive's and the unpacked file's
// paths, folders included, is removed before and after, whatever happened. An unknown folder or a
// path outside the loader's folders gives 9 before any file step (OwnedFolders). Errors of the
// catalogue filter, of the rule's inputs and of the extraction itself pass to the caller.
StageResult UpdateArchivedFile(UpdateContext& ctx, const ModuleEntry& entry,
                               const std::string& destination);

// The operation of an archived module: its file in its folder (ModulePath). The loader's own
// module goes to the update folder, never over the running loader.
StageResult UpdateArchivedModule(UpdateContext& ctx, const ModuleEntry& entry);

// The temporary paths of a module: `PathTemp` + separator + its file name (the unpacked file),
// and the same with the file's extension replaced by ".7z" (the archive).
std::string UnpackedPath(const std::string& temp_folder, const std::string& file_name);
std::string ArchivePath(const std::string& temp_folder, const std::string& file_name);

}  // namespace nurv
