#pragma once
#include <cstdint>
#include <string>

#include "loader/update_context.h"

namespace nurv {

// Brings `destination` up to date from the rows of `code` that hold the file's bytes as they are
// (date rule per row). A newer row's bytes are saved beside the destination, checked against the
// row's `caption` and only then renamed over the old file, stamped with the row's time; every
// failure is logged and gives 9, leaving the old file and its time as they were; so does a
// destination outside the loader's folders, and an unknown folder fails the stage before any
// file step (OwnedFolders). Only an error of the catalogue filter passes to the caller.
void UpdatePlainFile(UpdateContext& ctx, const std::string& destination, const std::string& code,
                     std::int16_t& StageResult);

// Code 7z: the 7-Zip library into the temporary folder, only when it is in neither the system
// folder nor the temporary folder.
void Update7zLibrary(UpdateContext& ctx, std::int16_t& StageResult);
// The same with the system folder given.
void Update7zLibraryIn(UpdateContext& ctx, const std::string& system_folder,
                       std::int16_t& StageResult);
// Code BAT: nurvrun.bat in the program folder.
void UpdateBatchFile(UpdateContext& ctx, std::int16_t& StageResult);
// Code CHM: HelpNurv.chm in the help folder.
void UpdateHelpChm(UpdateContext& ctx, std::int16_t& StageResult);
// Code EXP: NurvExplorer.exe in the program folder.
void UpdateExplorer(UpdateContext& ctx, std::int16_t& StageResult);

}  // namespace nurv
