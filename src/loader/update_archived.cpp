#include "loader/update_archived.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "base/text_utils.h"
#include "base/version_key.h"
#include "loader/catalogue_filter.h"
#include "loader/owned_folders.h"
#include "loader/patched_row.h"
#include "loader/signature_check.h"
#include "loader/staged_file.h"
#include "loader/update_files.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "rules/module_catalogue.h"
#include "support/file_utils.h"
#include "support/product_version.h"
#include "support/sevenzip_archive.h"
#include "support/signing.h"

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
  return EqualsIgnoringAsciiCase(a, b);
#else
  return a == b;
#endif
}

// Where the archive library may be loaded from: with trusted keys, the temporary folder only once
// this run has verified the library there.
std::vector<std::string> LibraryCandidates(const UpdateContext& ctx) {
  const bool temp_allowed = !ctx.trusted_keys.configured() || ctx.temp_library_verified;
  return SevenZipLibraryCandidates(ctx.system_folder, temp_allowed ? ctx.settings.PathTemp : "");
}

// The state of one call; its temporary files are removed by Finish, however the call ends.
class ArchivedUpdate {
 public:
  ArchivedUpdate(UpdateContext& ctx, const ModuleEntry& entry, const std::string& destination)
      : ctx_(ctx),
        entry_(entry),
        destination_(destination),
        unpacked_(UnpackedPath(ctx.settings.PathTemp, std::string(entry.file_name))),
        archive_(ArchivePath(ctx.settings.PathTemp, std::string(entry.file_name))) {}

  // Refuses a path outside the loader's folders before any file step: 9 and the archive's line.
  bool PathsOwned();
  void Run();
  // Removes the temporary files; the stage's code.
  StageResult Finish();

 private:
  bool Needed();
  // True when a patch of the installed module (no archive fetched or unpacked) was put in place.
  bool ReplacedFromPatch();
  bool Fetch();
  bool ArchiveSigned();
  // False (9 and its line) when the library found the item's data damaged.
  bool Unpack();
  void Replace();
  // Puts the staged module in place, stamped with `stamp`; false with its lines when it failed.
  bool PutInPlace(StagedFile& staged, const std::optional<DateTime>& stamp);
  // Removes whatever is at a temporary path of this module (the extraction may have made a
  // folder there); 9 and `failure_line` when something stays.
  void RemoveTemporary(const std::string& path, const std::string& failure_line) {
    if (RemoveEntry(path)) return;
    result_ = StageResult::Error;
    ctx_.ui.AddLogLine(failure_line);
  }
  void CopyFailed() {
    result_ = StageResult::Error;
    ctx_.ui.AddLogLine("--> ОШИБКА выгрузки. Не удалось скопировать файл [" +
                       EscapeControlBytes(unpacked_) + "] в: [" + EscapeControlBytes(destination_) +
                       "]");
  }

  UpdateContext& ctx_;
  const ModuleEntry& entry_;
  const std::string& destination_;
  const std::string unpacked_;
  const std::string archive_;
  StageResult result_ = StageResult::NotRequired;
  std::uint32_t expected_ = 0;
  std::optional<DateTime> row_time_;
  std::optional<Sha256Digest> stored_;  // of the archive fetched, when keys are trusted
  Sha256Digest landed_{};  // what the row's signature vouches for, when keys are trusted
  std::unique_ptr<SevenZipArchive> component_;
  std::unique_ptr<db::Dataset> contents_;
  // Where a first item named unlike the module went, to be removed with the other temporaries.
  std::string foreign_item_;
};

bool ArchivedUpdate::PathsOwned() {
  const OwnedFolders& owned = ctx_.owned;
  std::optional<std::string> refusal = owned.Refusal(archive_);
  if (!refusal) refusal = owned.Refusal(unpacked_);
  if (!refusal) refusal = owned.DestinationRefusal(destination_);
  if (!refusal) return true;
  result_ = StageResult::Error;
  ctx_.ui.AddLogLine("--> ОШИБКА выгрузки файла: [" + EscapeControlBytes(archive_) + "]\r\n[" +
                     EscapeControlBytes(*refusal) + "]");
  return false;
}

void ArchivedUpdate::Run() {
  expected_ = ExpectedChecksum(ctx_.catalogue);
  platform::CreateFolder(ctx_.settings.PathTemp);
  RemoveTemporary(archive_, "--> ОШИБКА удаления файла: [" + EscapeControlBytes(archive_) + "]");
  RemoveTemporary(unpacked_, "--> ОШИБКА удаления файла: [" + EscapeControlBytes(unpacked_) + "]");
  if (!Needed()) return;
  if (ReplacedFromPatch()) return;
  if (!Fetch()) return;
  if (!ArchiveSigned()) {
    result_ = StageResult::Error;
    return;
  }
  if (!Unpack()) return;
  // Only a file is the update; a folder or anything else of its name is not.
  std::error_code error;
  const bool unpacked_exists = std::filesystem::is_regular_file(
      std::filesystem::symlink_status(PathFromUtf8(unpacked_), error));
  if (!unpacked_exists) {
    result_ = StageResult::Error;
    ctx_.ui.AddLogLine("--> ОШИБКА выгрузки. Файл обновления не найден: [" +
                       EscapeControlBytes(unpacked_) + "]");
  }
  if (ReportedFileCrc32(ctx_.ui, unpacked_) != expected_) {
    result_ = StageResult::Error;
    ctx_.ui.AddLogLine("--> ОШИБКА выгрузки. Контрольная сумма файла [" +
                       EscapeControlBytes(unpacked_) + "] не верна");
    return;
  }
  if (!unpacked_exists) return;
  if (ctx_.trusted_keys.configured() &&
      !LandedBytesSigned(ctx_, FileSha256(unpacked_).digest, landed_, unpacked_)) {
    result_ = StageResult::Error;
    return;
  }
  Replace();
}

// The fetched archive is checked before 7-Zip reads a byte of it; without an archive there is
// nothing to unpack, and the unpacking fails as it does unsigned.
bool ArchivedUpdate::ArchiveSigned() {
  if (!stored_) return true;
  return StoredBytesSigned(ctx_, entry_.code, ctx_.catalogue, *stored_, archive_, landed_);
}

bool ArchivedUpdate::Needed() {
  if (entry_.rule == UpdateRule::Date) {
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
    component_ = std::make_unique<SevenZipArchive>(LibraryCandidates(ctx_));
    component_->ExtractOptions = static_cast<unsigned>(ExtractOption::ExtractNoPath) |
                                 static_cast<unsigned>(ExtractOption::ExtractOverwrite);
    contents_ = ctx_.connection.OpenDataset(std::string(kModuleContentsQuery) +
                                            db::SqlLiteral(entry_.code));
    // The bytes of the very row whose version, checksum and time decided, or none.
    if (contents_->Locate("vcode", ctx_.catalogue.Field("vcode")) &&
        !contents_->BlobIsNull("fblob")) {
      ctx_.ui.WaitMs(1000);
      CheckedNewFile archive(archive_, ctx_.trusted_keys.configured());
      archive.WriteBlob(*contents_, "fblob");
      archive.Finish(std::nullopt);
      archive.Keep();
      stored_ = archive.sha256();
      ctx_.ui.WaitMs(1000);
    }
    result_ = Combined(result_, StageResult::Written);
  } catch (const std::exception& e) {
    result_ = StageResult::Error;
    ctx_.ui.AddLogLine("--> ОШИБКА выгрузки файла: [" + EscapeControlBytes(archive_) + "]\r\n[" +
                       EscapeControlBytesKeepingLineBreaks(e.what()) + "]");
  }
  return component_ != nullptr;
}

bool ArchivedUpdate::Unpack() {
  component_->ArchivePath = archive_;
  component_->ExtractFolder = ctx_.settings.PathTemp;
  component_->ItemIndexes.clear();
  component_->ItemIndexes.push_back("0");
  // A first item named unlike the module is not the update; it goes to a name of ours so that
  // it neither replaces another file of the temporary folder nor stays behind.
  component_->OnSetExtractName = [this](std::uint32_t, std::string& file_name) {
    if (SameFileName(FileNameOf(file_name), FileNameOf(unpacked_))) return;
    foreign_item_ = unpacked_ + ".item~";
    file_name = foreign_item_;
  };
  component_->Extract(false);
  if (!component_->DataCheckFailed) return true;
  result_ = StageResult::Error;
  ctx_.ui.AddLogLine("--> ОШИБКА выгрузки. Данные архива [" + archive_ + "] повреждены");
  return false;
}

bool ArchivedUpdate::ReplacedFromPatch() {
  PatchedRow patched = StagePatchedRow(ctx_, entry_.code, destination_);
  if (!patched.staged) return false;
  result_ = Combined(result_, StageResult::Written);
  // A program stays executable: the mode of the module it replaces, as an unpacked item has its
  // own.
  patched.staged->TakeModeOf(destination_);
  ctx_.ui.WaitMs(2000);
  // Under the version rule there is no archive item to take a time from: the row's own time, to
  // the second (the publisher's file time).
  if (PutInPlace(*patched.staged, row_time_ ? row_time_ : ctx_.catalogue.AsDateTime("updatedate")))
    ctx_.patch_lines.push_back(patched.line);
  else
    CopyFailed();
  ctx_.ui.WaitMs(1000);
  return true;
}

void ArchivedUpdate::Replace() {
  ctx_.ui.WaitMs(2000);
  // Under the version rule the module keeps the unpacked item's time, as a copy would.
  const std::optional<DateTime> stamp =
      row_time_ ? row_time_ : platform::ReadModifiedTime(unpacked_);
  std::optional<StagedFile> staged;
  try {
    staged.emplace(destination_, false);
    staged->CopyFrom(unpacked_);
  } catch (const std::runtime_error&) {
    staged.reset();
  }
  // The copy's error line stands for the platform's message.
  if (!staged || !PutInPlace(*staged, stamp)) CopyFailed();
  ctx_.ui.WaitMs(1000);
}

bool ArchivedUpdate::PutInPlace(StagedFile& staged, const std::optional<DateTime>& stamp) {
  // The old module would have been deleted whatever its attributes.
  const bool had_old_file = platform::FileExists(destination_);
  if (had_old_file) MakeFileWritable(destination_);
  if (!staged.Replace(stamp).has_value()) {
    ctx_.tally.AddFile(staged.size());
    return true;
  }
  if (had_old_file && platform::FileExists(destination_)) {
    result_ = StageResult::Error;
    ctx_.ui.AddLogLine("--> ОШИБКА удаления файла: [" + EscapeControlBytes(destination_) + "]");
  }
  return false;
}

StageResult ArchivedUpdate::Finish() {
  component_.reset();
  contents_.reset();
  RemoveTemporary(archive_,
                  "--> ОШИБКА очистки временного файла: [" + EscapeControlBytes(archive_) + "]");
  RemoveTemporary(unpacked_,
                  "--> ОШИБКА очистки временного файла: [" + EscapeControlBytes(unpacked_) + "]");
  if (!foreign_item_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(PathFromUtf8(foreign_item_), ignored);
  }
  return result_;
}

}  // namespace

std::string UnpackedPath(const std::string& temp_folder, const std::string& file_name) {
  return temp_folder + platform::kPathDelim + file_name;
}

std::string ArchivePath(const std::string& temp_folder, const std::string& file_name) {
  const std::size_t dot = file_name.rfind('.');
  return temp_folder + platform::kPathDelim + file_name.substr(0, dot) + ".7z";
}

StageResult UpdateArchivedFile(UpdateContext& ctx, const ModuleEntry& entry,
                               const std::string& destination) {
  if (const auto done = SelectModuleRows(ctx, entry)) return *done;
  if (ctx.unverified_library_stays) {
    ctx.ui.AddLogLine("--> ОШИБКА! Библиотека 7z не проверена, распаковка невозможна: [" +
                      EscapeControlBytes(destination) + "]");
    return StageResult::Error;
  }
  ArchivedUpdate update(ctx, entry, destination);
  if (!update.PathsOwned()) return StageResult::Error;
  try {
    update.Run();
  } catch (...) {
    // The error goes on to the stage frame; the temporary files go now.
    update.Finish();
    throw;
  }
  return update.Finish();
}

StageResult UpdateArchivedModule(UpdateContext& ctx, const ModuleEntry& entry) {
  return UpdateArchivedFile(ctx, entry, ModulePath(entry, ctx.settings));
}

}  // namespace nurv
