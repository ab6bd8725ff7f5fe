#include "loader/update_plain.h"

#include <exception>
#include <memory>

#include "loader/catalogue_filter.h"
#include "loader/module_catalogue.h"
#include "loader/owned_folders.h"
#include "loader/update_files.h"
#include "loader/update_result.h"
#include "platform/files.h"
#include "platform/paths.h"
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

// One row of the walk: written, skipped, or failed with a log line and 9.
void WriteRow(UpdateContext& ctx, const ModuleEntry& entry, const std::string& destination,
              std::unique_ptr<db::Dataset>& contents, std::int16_t& StageResult) {
  const DateTime row_time = RowTime(ctx.catalogue);
  if (!DateRuleNeedsWrite(row_time, destination)) return;
  if (!contents)
    contents =
        ctx.connection.OpenDataset(std::string(kModuleContentsQuery) + QuotedLiteral(entry.code));
  if (!contents->Locate("vcode", ctx.catalogue.Field("vcode"))) return;
  if (contents->BlobIsNull("fblob")) return;

  ctx.ui.WaitMs(1000);
  StagedFile staged(destination);
  ctx.ui.WaitMs(100);
  contents->SaveBlobToFile("fblob", staged.path());
  const auto expected = static_cast<std::uint32_t>(contents->AsInt64("caption"));
  if (ReportedFileCrc32(ctx.ui, staged.path()) != expected) {
    StageResult = kStageError;
    ctx.ui.AddLogLine("Проверка контрольной суммы при выгрузке файла: " + destination +
                      " - ОШИБКА");
    return;
  }
  // The old file would have been deleted whatever its attributes.
  const bool had_old_file = platform::FileExists(destination);
  if (had_old_file) MakeFileWritable(destination);
  std::string error;
  if (!staged.Replace(row_time, error)) {
    if (had_old_file && platform::FileExists(destination)) {
      StageResult = kStageError;
      ctx.ui.AddLogLine("--> ОШИБКА удаления файла: [" + destination + "]");
    }
    throw std::runtime_error(error);
  }
  MarkStageWritten(StageResult);
}

}  // namespace

void UpdatePlainFile(UpdateContext& ctx, const ModuleEntry& entry, const std::string& destination,
                     std::int16_t& StageResult) {
  StageResult = kStageNotRequired;
  FilterOffAtEnd filter_off(ctx.catalogue);
  if (!SelectModuleRows(ctx, entry, StageResult)) return;
  const OwnedFolders owned(ctx.settings);
  // The contents query is opened on the first row to write and released when the walk ends.
  std::unique_ptr<db::Dataset> contents;
  for (; !ctx.catalogue.Eof(); ctx.catalogue.Next()) {
    try {
      owned.CheckDestination(destination);
      WriteRow(ctx, entry, destination, contents, StageResult);
    } catch (const std::exception& e) {
      StageResult = kStageError;
      ctx.ui.AddLogLine("ОШИБКА выгрузки файла: " + destination + "\r\n[" + e.what() + "]");
      // The database stays locked by another connection: every row left would fail alike.
      if (dynamic_cast<const db::BusyError*>(&e)) break;
    }
  }
}

void UpdatePlainModule(UpdateContext& ctx, const ModuleEntry& entry, std::int16_t& StageResult) {
  StageResult = kStageNotRequired;
  const std::string destination = ModulePath(entry, ctx.settings);
  if (entry.rule == UpdateRule::DateWhenMissing) {
    const std::string system_copy =
        ctx.system_folder + platform::kPathDelim + std::string(entry.file_name);
    if (platform::FileExists(system_copy)) return;
    // The temporary folder must be known before it is looked into.
    FilterOffAtEnd filter_off(ctx.catalogue);
    if (!SelectModuleRows(ctx, entry, StageResult)) return;
    if (platform::FileExists(destination)) return;
  }
  UpdatePlainFile(ctx, entry, destination, StageResult);
}

}  // namespace nurv
