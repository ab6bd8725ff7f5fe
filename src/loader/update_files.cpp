#include "loader/update_files.h"

#include <cstdio>
#include <system_error>
#include <vector>

#include "base/crc32.h"
#include "base/date_utils.h"
#include "loader/catalogue_filter.h"
#include "loader/owned_folders.h"
#include "platform/files.h"
#include "support/file_crc32.h"
#include "support/file_utils.h"

namespace nurv {

std::optional<StageResult> SelectModuleRows(UpdateContext& ctx, const ModuleEntry& entry) {
  if (!FilterCatalogue(ctx.catalogue, entry.code)) return StageResult::NotRequired;
  std::vector<FolderKind> needed{entry.folder};
  if (entry.form == ModuleForm::Archive) needed.push_back(FolderKind::Temp);
  const OwnedFolders owned(ctx.settings);
  std::optional<StageResult> unknown;
  for (const FolderKind kind : needed) {
    if (owned.IsKnown(kind)) continue;
    unknown = StageResult::Error;
    ctx.ui.AddLogLine("--> ОШИБКА! Папка выгрузки не задана: [" +
                      std::string(FolderSettingName(kind)) + "]");
  }
  return unknown;
}

DateTime RowTime(const db::Dataset& row) { return TruncToMinute(row.AsDateTime("updatedate")); }

bool DateRuleNeedsWrite(DateTime row_time, const std::string& path) {
  return DateRuleNeedsWrite(row_time, platform::ReadFileFacts(path));
}

bool DateRuleNeedsWrite(DateTime row_time, const platform::FileFacts& file) {
  if (!file.exists_as_file || !file.modified) return true;
  return row_time > TruncToMinute(*file.modified);
}

std::string FileNameOf(const std::string& path) {
#ifdef _WIN32
  const std::size_t cut = path.find_last_of("\\/:");
#else
  const std::size_t cut = path.find_last_of('/');
#endif
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string StagingPath(const std::string& destination) {
  const std::string name = FileNameOf(destination);
  const std::uint32_t crc = ~Crc32UpdateBlock(
      0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(crc));
  return destination.substr(0, destination.size() - name.size()) + std::string(kStagingPrefix) +
         "-" + hex + ".tmp";
}

StagedFile::StagedFile(std::string destination)
    : destination_(std::move(destination)), path_(StagingPath(destination_)) {
  // A leftover of an interrupted run is ours; it must not block the new write, and a link there
  // must not lead the write elsewhere.
  if (EntryExists(path_)) ForceDeleteFile(path_);
}

StagedFile::~StagedFile() {
  if (!replaced_ && EntryExists(path_)) ForceDeleteFile(path_);
}

std::optional<std::string> StagedFile::Replace(const std::optional<DateTime>& stamp) {
  if (stamp && !platform::WriteModifiedTime(path_, *stamp)) return platform::LastErrorText();
  if (!platform::RenameReplacing(path_, destination_)) return platform::LastErrorText();
  replaced_ = true;
  return std::nullopt;
}

bool EntryExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(PathFromUtf8(path), error));
}

bool RemoveEntry(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(PathFromUtf8(path), error);
  if (!std::filesystem::exists(status)) return true;
  if (!std::filesystem::is_directory(status)) return ForceDeleteFile(path);
  std::filesystem::remove_all(PathFromUtf8(path), error);
  return !error;
}

std::uint32_t ReportedFileCrc32(LoaderUi& ui, const std::string& path) {
  const FileChecksum checksum = FileCrc32(path);
  if (!checksum.error.empty()) {
    ui.ShowMessageBox("При вычислении контрольной суммы файла [" + path + "] возникла oшибка [" +
                      checksum.error + "]");
  }
  return checksum.crc;
}

bool IsReadOnlyFile(const std::string& path) {
  if (!platform::FileExists(path)) return false;
  const std::optional<std::uint32_t> attributes = platform::ReadAttributes(path);
  return attributes && (*attributes & platform::kAttrReadOnly) != 0;
}

}  // namespace nurv
