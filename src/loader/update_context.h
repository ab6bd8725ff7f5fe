#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/database.h"
#include "loader/loader_ui.h"
#include "loader/owned_folders.h"
#include "loader/update_result.h"
#include "rules/row_signature.h"
#include "rules/update_delta.h"
#include "settings/settings_record.h"

namespace nurv {

// What the update routines of one run work with, built once per run: the window, the open
// connection, the open catalogue dataset `DSBLOBVersion` (every row of UpdatesBLOB without its
// contents), the settings in force (`LoaderSettings`) and the folders they give the loader, the
// operating system's folder, where the system's own 7-Zip library may be; and the keys that must
// have signed every row written (none configured: rows are taken as they are).
struct UpdateContext {
  UpdateContext(LoaderUi& ui, db::Connection& connection, db::Dataset& catalogue,
                const SettingsRecord& settings, std::string system_folder,
                TrustedKeys trusted_keys = TrustedKeys())
      : ui(ui),
        connection(connection),
        catalogue(catalogue),
        settings(settings),
        owned(settings),
        system_folder(std::move(system_folder)),
        trusted_keys(std::move(trusted_keys)) {}

  LoaderUi& ui;
  db::Connection& connection;
  db::Dataset& catalogue;
  const SettingsRecord& settings;
  const OwnedFolders owned;
  std::string system_folder;
  TrustedKeys trusted_keys;
  // With trusted keys the 7z library in the temporary folder is loaded only once this run has
  // verified its bytes; one that could be neither verified nor removed stops every archive stage.
  bool temp_library_verified = false;
  bool unverified_library_stays = false;
  UpdateTally tally;
  // The patches of UpdatesDelta, read when the first row is about to be written.
  std::optional<PatchIndex> patches;
  // How many bytes of patches the run holds, fetched in one statement at the first patch used.
  std::int64_t held_patch_bytes = kHeldPatchBytes;
  // The lines of patches used by a single-file stage, logged after the stage's own line.
  std::vector<std::string> patch_lines;
};

}  // namespace nurv
