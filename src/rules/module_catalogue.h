#pragma once
#include <span>
#include <string>
#include <string_view>

#include "settings/settings_record.h"

// The modules of the update table as plain data: which code is installed under which name, in
// which folder, in which form, by which rule, and whose stage runs it. Nothing here depends on the
// update engine or the window, so other programs of the complex can use the table.
namespace nurv {

// Where a module's files go (folders of `LoaderSettings`).
enum class FolderKind { Program, Update, Help, Templates, Temp };

// How a module travels in UpdatesBLOB.
enum class ModuleForm {
  Plain,    // one row, the file's bytes as they are
  Archive,  // one row, a 7z archive whose first item is the file
  Group,    // one row per file, each named by its row
};

enum class UpdateRule {
  Version,          // installed product version against the row's `version`
  Date,             // file time against the row's `updatedate`, to the minute
  DateWhenMissing,  // date rule, only when the library is found nowhere
  DatePerRow,       // date rule for every row of the group
};

// Who runs the module's stage.
enum class StageOwner {
  Dispatcher,    // LoadUpdate, in catalogue order
  MainSequence,  // the main sequence after the dispatcher, in catalogue order
  SharedStage,   // runs inside the stage of the entry before it (SSL2 inside SSL1's)
};

// One code of the update table.
struct ModuleEntry {
  std::string_view code;       // `tdoc`
  std::string_view file_name;  // fixed file name; empty for groups (each row names its file)
  FolderKind folder;
  std::string_view sub_folder;   // groups below the program folder: "locales", "swiftshader"
  std::string_view name_suffix;  // appended to a group row's name (".doc")
  ModuleForm form;
  UpdateRule rule;
  StageOwner owner;
  std::string_view heading;     // log line before the stage
  std::string_view stage_line;  // start of the stage's result line
  std::string_view status;      // status text during the stage
  bool withheld_from_xp;        // the browser's files: none on Windows XP or Server 2003
};

// Every code the loader knows, in the order their stages run.
std::span<const ModuleEntry> ModuleCatalogue();
// The entry of `code`; std::out_of_range for a code the loader does not know.
const ModuleEntry& ModuleByCode(std::string_view code);
// The modules whose stage begins with `first`: `first` and the entries after it that share its
// stage (SSL1 and SSL2). Only `first` when it is not an entry of the catalogue.
std::span<const ModuleEntry> StageModules(const ModuleEntry& first);

// The folder of `entry` from the settings, ready to take a file name: the program folder as it
// stands (it ends in the separator), every other folder + separator; a group's sub-folder and its
// separator appended.
std::string ModuleFolderPrefix(const ModuleEntry& entry, const SettingsRecord& settings);
// The installed file of a single module: ModuleFolderPrefix + its file name.
std::string ModulePath(const ModuleEntry& entry, const SettingsRecord& settings);

}  // namespace nurv
