#pragma once
#include "db/database.h"
#include "loader/loader_ui.h"
#include "settings/record_registry.h"

namespace nurv {

// What an update routine works with: the window, the open connection, the open catalogue
// dataset `DSBLOBVersion` (every row of UpdatesBLOB without its contents) and the settings in
// force (`LoaderSettings`).
struct UpdateContext {
  LoaderUi& ui;
  db::Connection& connection;
  db::Dataset& catalogue;
  const TRecordRegistry& settings;
};

}  // namespace nurv
