#pragma once
#include <cstdint>
#include <string>

#include "loader/update_context.h"

namespace nurv {

// Brings one module up to date from the first row of `code`, whose `fblob` is a 7z archive with
// the module as its first item: the archive is written to `archive` in the temporary folder,
// its first item unpacked there as `unpacked` (only a regular file counts), checked against the
// row's `caption`, then copied beside `destination` and renamed over it in one step. Version
// rule, or date rule when `date_rule`. Whatever is at the archive's and the unpacked file's
// paths, folders included, is removed before and after, whatever happened. An unknown folder or
// a path outside the loader's folders gives 9 before any file step (OwnedFolders). Errors of the
// catalogue filter, of the rule's inputs and of the extraction itself pass to the caller.
void UpdateArchivedModule(UpdateContext& ctx, const std::string& destination,
                          const std::string& unpacked, const std::string& archive,
                          const std::string& code, bool date_rule, std::int16_t& StageResult);

// The temporary paths of a module: `PathTemp` + separator + its file name (the unpacked file),
// and the same with the file's extension replaced by ".7z" (the archive).
std::string UnpackedPath(const std::string& temp_folder, const std::string& file_name);
std::string ArchivePath(const std::string& temp_folder, const std::string& file_name);

// Code LDR: NurvLoader.exe into the update folder (never over the running loader).
void UpdateLoaderModule(UpdateContext& ctx, std::int16_t& StageResult);
// Code PRG: nurv.exe in the program folder.
void UpdateMainProgram(UpdateContext& ctx, std::int16_t& StageResult);
// Codes SSL1 and SSL2 as one stage: 9 when either run failed, else 1 when either wrote, else 0.
void UpdateSslLibraries(UpdateContext& ctx, std::int16_t& StageResult);
// Code PDF: HelpNurv.pdf in the help folder, by the date rule.
void UpdateHelpPdf(UpdateContext& ctx, std::int16_t& StageResult);

}  // namespace nurv
