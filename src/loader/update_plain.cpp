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
#include "platform/system_info.h"
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
void WriteRow(UpdateContext& ctx, const std::string& destination, const std::string& code,
              std::unique_ptr<db::Dataset>& contents, std::int16_t& StageResult) {
  const DateTime row_time = RowTime(ctx.catalogue);
  if (!DateRuleNeedsWrite(row_time, destination)) return;
  if (!contents)
    contents = ctx.connection.OpenDataset(std::string(kModuleContentsQuery) + QuotedLiteral(code));
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

void UpdatePlainFile(UpdateContext& ctx, const std::string& destination, const std::string& code,
                     std::int16_t& StageResult) {
  StageResult = kStageNotRequired;
  FilterOffAtEnd filter_off(ctx.catalogue);
  if (!SelectModuleRows(ctx, ModuleByCode(code), StageResult)) return;
  const OwnedFolders owned(ctx.settings);
  // The contents query is opened on the first row to write and released when the walk ends.
  std::unique_ptr<db::Dataset> contents;
  for (; !ctx.catalogue.Eof(); ctx.catalogue.Next()) {
    try {
      owned.CheckDestination(destination);
      WriteRow(ctx, destination, code, contents, StageResult);
    } catch (const std::exception& e) {
      StageResult = kStageError;
      ctx.ui.AddLogLine("ОШИБКА выгрузки файла: " + destination + "\r\n[" + e.what() + "]");
      // The database stays locked by another connection: every row left would fail alike.
      if (dynamic_cast<const db::BusyError*>(&e)) break;
    }
  }
}

void Update7zLibraryIn(UpdateContext& ctx, const std::string& system_folder,
                       std::int16_t& StageResult) {
  StageResult = kStageNotRequired;
  const ModuleEntry& entry = ModuleByCode("7z");
  const std::string name(entry.file_name);
  if (platform::FileExists(system_folder + platform::kPathDelim + name)) return;
  // The temporary folder must be known before it is looked into.
  FilterOffAtEnd filter_off(ctx.catalogue);
  if (!SelectModuleRows(ctx, entry, StageResult)) return;
  const std::string destination = ModulePath(entry, ctx.settings);
  if (platform::FileExists(destination)) return;
  UpdatePlainFile(ctx, destination, std::string(entry.code), StageResult);
}

void Update7zLibrary(UpdateContext& ctx, std::int16_t& StageResult) {
  Update7zLibraryIn(ctx, platform::SystemFolder(), StageResult);
}

namespace {

void UpdateFixedPlainFile(UpdateContext& ctx, std::string_view code, std::int16_t& StageResult) {
  const ModuleEntry& entry = ModuleByCode(code);
  UpdatePlainFile(ctx, ModulePath(entry, ctx.settings), std::string(entry.code), StageResult);
}

}  // namespace

void UpdateBatchFile(UpdateContext& ctx, std::int16_t& StageResult) {
  UpdateFixedPlainFile(ctx, "BAT", StageResult);
}

void UpdateHelpChm(UpdateContext& ctx, std::int16_t& StageResult) {
  UpdateFixedPlainFile(ctx, "CHM", StageResult);
}

void UpdateExplorer(UpdateContext& ctx, std::int16_t& StageResult) {
  UpdateFixedPlainFile(ctx, "EXP", StageResult);
}

}  // namespace nurv
