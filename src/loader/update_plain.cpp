#include "loader/update_plain.h"

#include <exception>

#include "base/text_utils.h"
#include "loader/catalogue_filter.h"
#include "loader/owned_folders.h"
#include "loader/signature_check.h"
#include "loader/update_files.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "rules/module_catalogue.h"
#include "support/file_utils.h"

namespace nurv {

namespace {

// Switches the catalogue's filter off when the walk ends, however it ends.
class FilterOffAtEnd {
 public:
  explicit FilterOffAtEnd(db::Dataset& catalogue) : catalogue_(catalogue) {}
  ~FilterOffAtEnd() {
    try {
      catalogue_.SetFiltered(false);
    } catch (...) {
      // the next routine sets its own filter anyway
    }
  }
  FilterOffAtEnd(const FilterOffAtEnd&) = delete;
  FilterOffAtEnd& operator=(const FilterOffAtEnd&) = delete;

 private:
  db::Dataset& catalogue_;
};

// The error line of a row, whatever ended it; the stage then counts as failed.
StageResult RowFailed(UpdateContext& ctx, const std::string& destination,
                      const std::string& message) {
  ctx.ui.AddLogLine("ОШИБКА выгрузки файла: " + EscapeControlBytes(destination) + "\r\n[" +
                    EscapeControlBytesKeepingLineBreaks(message) + "]");
  return StageResult::Error;
}

// One row of the walk: 0 skipped, 1 written, 9 failed with its log lines. An error raised here
// ends the row.
StageResult WriteRow(UpdateContext& ctx, const ModuleEntry& entry, const std::string& destination,
                     ContentsQuery& query) {
  const DateTime row_time = RowTime(ctx.catalogue);
  if (!DateRuleNeedsWrite(row_time, destination)) return StageResult::NotRequired;
  db::Dataset* contents = RowContents(ctx, query);
  if (contents == nullptr) return StageResult::NotRequired;

  ctx.ui.WaitMs(1000);
  const auto staged = StageCheckedRow(ctx, entry.code, destination, *contents,
                                      "Проверка контрольной суммы при выгрузке файла: " +
                                          EscapeControlBytes(destination) + " - ОШИБКА");
  if (!staged) return StageResult::Error;
  // The old file would have been deleted whatever its attributes.
  const bool had_old_file = platform::FileExists(destination);
  if (had_old_file) MakeFileWritable(destination);
  if (const auto error = staged->Replace(row_time)) {
    if (had_old_file && platform::FileExists(destination))
      ctx.ui.AddLogLine("--> ОШИБКА удаления файла: [" + EscapeControlBytes(destination) + "]");
    return RowFailed(ctx, destination, *error);
  }
  ctx.tally.AddFile(staged->size());
  return StageResult::Written;
}

// The walk over the code's rows, the catalogue filtered to them.
StageResult WriteSelectedRows(UpdateContext& ctx, const ModuleEntry& entry,
                              const std::string& destination) {
  const OwnedFolders& owned = ctx.owned;
  ContentsQuery query(ctx.connection,
                      std::string(kModuleContentsQuery) + db::SqlLiteral(entry.code));
  StageResult result = StageResult::NotRequired;
  for (; !ctx.catalogue.Eof(); ctx.catalogue.Next()) {
    try {
      owned.CheckDestination(destination);
      result = Combined(result, WriteRow(ctx, entry, destination, query));
    } catch (const std::exception& e) {
      result = RowFailed(ctx, destination, e.what());
      // The database stays locked by another connection: every row left would fail alike.
      if (db::KindOf(e) == db::ErrorKind::Busy) break;
    }
  }
  return result;
}

// With trusted keys, the library a run before them left in the temporary folder: kept (and then
// loadable) only when a key signed these very bytes, else removed; 9 with its line when it stays.
std::optional<StageResult> CheckLeftLibrary(UpdateContext& ctx, const ModuleEntry& entry,
                                            const std::string& library, bool rows_selected) {
  const auto remove = [&] {
    if (RemoveEntry(library)) return true;
    ctx.unverified_library_stays = true;
    ctx.ui.AddLogLine("--> ОШИБКА удаления файла: [" + EscapeControlBytes(library) + "]");
    return false;
  };
  bool verified = false;
  try {
    verified = rows_selected && InstalledCopySigned(ctx, entry.code, ctx.catalogue, library);
  } catch (...) {
    // A check that cannot be made (no signature table, a row that does not read) fails closed;
    // the error then ends the stage as any other.
    remove();
    throw;
  }
  if (verified) {
    ctx.temp_library_verified = true;
    return StageResult::NotRequired;
  }
  if (remove()) return std::nullopt;
  return StageResult::Error;
}

StageResult UpdateSevenZipLibrary(UpdateContext& ctx, const ModuleEntry& entry,
                                  const std::string& destination) {
  const bool checked = ctx.trusted_keys.configured();
  const bool in_system =
      platform::FileExists(ctx.system_folder + platform::kPathDelim + std::string(entry.file_name));
  const bool left = ctx.owned.IsKnown(FolderKind::Temp) && EntryExists(destination);
  if (in_system && !(checked && left)) return StageResult::NotRequired;
  // The temporary folder must be known before it is looked into.
  FilterOffAtEnd filter_off(ctx.catalogue);
  const std::optional<StageResult> done = SelectModuleRows(ctx, entry);
  if (left && checked) {
    if (const auto kept = CheckLeftLibrary(ctx, entry, destination, !done)) return *kept;
    if (in_system) return StageResult::NotRequired;
  } else if (left) {
    return done.value_or(StageResult::NotRequired);
  }
  if (done) return *done;
  const StageResult result = WriteSelectedRows(ctx, entry, destination);
  if (result == StageResult::Written) ctx.temp_library_verified = true;
  return result;
}

}  // namespace

StageResult UpdatePlainFile(UpdateContext& ctx, const ModuleEntry& entry,
                            const std::string& destination) {
  FilterOffAtEnd filter_off(ctx.catalogue);
  if (const auto done = SelectModuleRows(ctx, entry)) return *done;
  return WriteSelectedRows(ctx, entry, destination);
}

StageResult UpdatePlainModule(UpdateContext& ctx, const ModuleEntry& entry) {
  const std::string destination = ModulePath(entry, ctx.settings);
  if (entry.rule == UpdateRule::DateWhenMissing)
    return UpdateSevenZipLibrary(ctx, entry, destination);
  return UpdatePlainFile(ctx, entry, destination);
}

}  // namespace nurv
