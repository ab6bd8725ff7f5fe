#include "loader/update_archived.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "base/version_key.h"
#include "loader/catalogue_filter.h"
#include "loader/module_catalogue.h"
#include "loader/owned_folders.h"
#include "loader/update_files.h"
#include "loader/update_result.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/file_utils.h"
#include "support/product_version.h"
#include "support/sevenzip_archive.h"

namespace nurv {

namespace {

// An archived row's `caption` that is empty or not a number counts as checksum 0.
std::uint32_t ExpectedChecksum(const db::Dataset& row) {
  try {
    return static_cast<std::uint32_t>(row.AsInt64("caption"));
  } catch (const db::ConversionError&) {
    return 0;
  }
}

// A NULL `version` reads as the empty text, whose key is never newer.
std::string RowVersionText(const db::Dataset& row) {
  if (IsNull(row.Field("version"))) return {};
  return row.AsString("version");
}

bool SameFileName(const std::string& a, const std::string& b) {
#ifdef _WIN32
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
#else
  return a == b;
#endif
}

// Removes whatever is at a temporary path of this module (the extraction may have made a
// folder there); 9 and `failure_line` when something stays.
void DeleteIfPresent(UpdateContext& ctx, const std::string& path, const std::string& failure_line,
                     std::int16_t& StageResult) {
  if (RemoveEntry(path)) return;
  StageResult = kStageError;
  ctx.ui.AddLogLine(failure_line);
}

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(FsPath(path), error);
  return error ? static_cast<std::uintmax_t>(-1) : size;
}

// The state of one call; its temporary files are removed by Finish, however the call ends.
class ArchivedUpdate {
 public:
  ArchivedUpdate(UpdateContext& ctx, const std::string& destination, const std::string& unpacked,
                 const std::string& archive, const std::string& code, std::int16_t& StageResult)
      : ctx_(ctx),
        destination_(destination),
        unpacked_(unpacked),
        archive_(archive),
        code_(code),
        result_(StageResult) {}

  void Run(bool date_rule);
  void Finish();

 private:
  bool Needed(bool date_rule);
  bool Fetch();
  void Unpack();
  void Replace();
  void CopyFailed() {
    result_ = kStageError;
    ctx_.ui.AddLogLine("--> ОШИБКА выгрузки. Не удалось скопировать файл [" + unpacked_ + "] в: [" +
                       destination_ + "]");
  }

  UpdateContext& ctx_;
  const std::string& destination_;
  const std::string& unpacked_;
  const std::string& archive_;
  const std::string& code_;
  std::int16_t& result_;
  std::uint32_t expected_ = 0;
  std::optional<DateTime> row_time_;
  std::unique_ptr<TSevenZipArchive> component_;
  std::unique_ptr<db::Dataset> contents_;
  // Where a first item named unlike the module went, to be removed with the other temporaries.
  std::string foreign_item_;
};

void ArchivedUpdate::Run(bool date_rule) {
  expected_ = ExpectedChecksum(ctx_.catalogue);
  platform::CreateFolder(ctx_.settings.PathTemp);
  DeleteIfPresent(ctx_, archive_, "--> ОШИБКА удаления файла: [" + archive_ + "]", result_);
  DeleteIfPresent(ctx_, unpacked_, "--> ОШИБКА удаления файла: [" + unpacked_ + "]", result_);
  if (!Needed(date_rule)) return;
  if (!Fetch()) return;
  Unpack();
  // Only a file is the update; a folder or anything else of its name is not.
  std::error_code error;
  const bool unpacked_exists =
      std::filesystem::is_regular_file(std::filesystem::symlink_status(FsPath(unpacked_), error));
  if (!unpacked_exists) {
    result_ = kStageError;
    ctx_.ui.AddLogLine("--> ОШИБКА выгрузки. Файл обновления не найден: [" + unpacked_ + "]");
  }
  if (ReportedFileCrc32(ctx_.ui, unpacked_) != expected_) {
    result_ = kStageError;
    ctx_.ui.AddLogLine("--> ОШИБКА выгрузки. Контрольная сумма файла [" + unpacked_ + "] не верна");
    return;
  }
  if (unpacked_exists) Replace();
}

bool ArchivedUpdate::Needed(bool date_rule) {
  if (date_rule) {
    row_time_ = RowTime(ctx_.catalogue);
    return DateRuleNeedsWrite(*row_time_, destination_);
  }
  FourPartVersion installed;
  ReadFileProductVersion(destination_, installed);
  return IsNewer(VersionKey(installed), VersionKey(RowVersionText(ctx_.catalogue)));
}

// False when the archive component could not be created: nothing can be unpacked.
bool ArchivedUpdate::Fetch() {
  try {
    component_ = std::make_unique<TSevenZipArchive>();
    component_->ExtractOptions = static_cast<unsigned>(ExtractOptsEnum::ExtractNoPath) |
                                 static_cast<unsigned>(ExtractOptsEnum::ExtractOverwrite);
    contents_ =
        ctx_.connection.OpenDataset(std::string(kModuleContentsQuery) + QuotedLiteral(code_));
    if (!contents_->Eof() && !contents_->BlobIsNull("fblob")) {
      ctx_.ui.WaitMs(1000);
      contents_->SaveBlobToFile("fblob", archive_);
      ctx_.ui.WaitMs(1000);
    }
    MarkStageWritten(result_);
  } catch (const std::exception& e) {
    result_ = kStageError;
    ctx_.ui.AddLogLine("--> ОШИБКА выгрузки файла: [" + archive_ + "]\r\n[" + e.what() + "]");
  }
  return component_ != nullptr;
}

void ArchivedUpdate::Unpack() {
  component_->SZFileName = archive_;
  component_->ExtrBaseDir = ctx_.settings.PathTemp;
  component_->Files.clear();
  component_->Files.push_back("0");
  // A first item named unlike the module is not the update; it goes to a name of ours so that
  // it neither replaces another file of the temporary folder nor stays behind.
  component_->OnSetExtractName = [this](std::uint32_t, std::string& file_name) {
    if (SameFileName(FileNameOf(file_name), FileNameOf(unpacked_))) return;
    foreign_item_ = unpacked_ + ".item~";
    file_name = foreign_item_;
  };
  component_->Extract(false);
}

void ArchivedUpdate::Replace() {
  ctx_.ui.WaitMs(2000);
  StagedFile staged(destination_);
  if (!platform::CopyFileReplacing(unpacked_, staged.path()) ||
      SizeOf(staged.path()) != SizeOf(unpacked_)) {
    CopyFailed();
  } else {
    // The old module would have been deleted whatever its attributes.
    const bool had_old_file = platform::FileExists(destination_);
    if (had_old_file) MakeFileWritable(destination_);
    std::string error;
    if (!staged.Replace(row_time_, error)) {
      if (had_old_file && platform::FileExists(destination_)) {
        result_ = kStageError;
        ctx_.ui.AddLogLine("--> ОШИБКА удаления файла: [" + destination_ + "]");
      }
      CopyFailed();
    }
  }
  ctx_.ui.WaitMs(1000);
}

void ArchivedUpdate::Finish() {
  component_.reset();
  contents_.reset();
  DeleteIfPresent(ctx_, archive_, "--> ОШИБКА очистки временного файла: [" + archive_ + "]",
                  result_);
  DeleteIfPresent(ctx_, unpacked_, "--> ОШИБКА очистки временного файла: [" + unpacked_ + "]",
                  result_);
  if (!foreign_item_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(FsPath(foreign_item_), ignored);
  }
}

void RunArchivedModule(UpdateContext& ctx, std::string_view code, std::int16_t& StageResult) {
  const ModuleEntry& entry = ModuleByCode(code);
  const std::string name(entry.file_name);
  UpdateArchivedModule(ctx, ModulePath(entry, ctx.settings),
                       UnpackedPath(ctx.settings.PathTemp, name),
                       ArchivePath(ctx.settings.PathTemp, name), std::string(entry.code),
                       entry.rule == UpdateRule::Date, StageResult);
}

}  // namespace

std::string UnpackedPath(const std::string& temp_folder, const std::string& file_name) {
  return temp_folder + platform::kPathDelim + file_name;
}

std::string ArchivePath(const std::string& temp_folder, const std::string& file_name) {
  const std::size_t dot = file_name.rfind('.');
  return temp_folder + platform::kPathDelim + file_name.substr(0, dot) + ".7z";
}

void UpdateArchivedModule(UpdateContext& ctx, const std::string& destination,
                          const std::string& unpacked, const std::string& archive,
                          const std::string& code, bool date_rule, std::int16_t& StageResult) {
  StageResult = kStageNotRequired;
  if (!SelectModuleRows(ctx, ModuleByCode(code), StageResult)) return;
  try {
    const OwnedFolders owned(ctx.settings);
    owned.Check(archive);
    owned.Check(unpacked);
    owned.CheckDestination(destination);
  } catch (const ForbiddenPathError& e) {
    StageResult = kStageError;
    ctx.ui.AddLogLine("--> ОШИБКА выгрузки файла: [" + archive + "]\r\n[" + e.what() + "]");
    return;
  }
  ArchivedUpdate update(ctx, destination, unpacked, archive, code, StageResult);
  try {
    update.Run(date_rule);
  } catch (...) {
    update.Finish();
    throw;
  }
  update.Finish();
}

void UpdateLoaderModule(UpdateContext& ctx, std::int16_t& StageResult) {
  RunArchivedModule(ctx, "LDR", StageResult);
}

void UpdateMainProgram(UpdateContext& ctx, std::int16_t& StageResult) {
  RunArchivedModule(ctx, "PRG", StageResult);
}

void UpdateSslLibraries(UpdateContext& ctx, std::int16_t& StageResult) {
  StageResult = kStageNotRequired;
  std::int16_t first = kStageNotRequired;
  std::int16_t second = kStageNotRequired;
  // One code for the stage from both runs.
  const auto combine = [&] {
    if (first == kStageError || second == kStageError)
      StageResult = kStageError;
    else if (first == kStageWritten || second == kStageWritten)
      StageResult = kStageWritten;
    else
      StageResult = kStageNotRequired;
  };
  try {
    RunArchivedModule(ctx, "SSL1", first);
    combine();
    RunArchivedModule(ctx, "SSL2", second);
  } catch (...) {
    combine();
    throw;
  }
  combine();
}

void UpdateHelpPdf(UpdateContext& ctx, std::int16_t& StageResult) {
  RunArchivedModule(ctx, "PDF", StageResult);
}

}  // namespace nurv
