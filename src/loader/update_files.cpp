#include "loader/update_files.h"

#include <system_error>
#include <vector>

#include "base/date_utils.h"
#include "base/text_utils.h"
#include "loader/catalogue_filter.h"
#include "loader/owned_folders.h"
#include "loader/patched_row.h"
#include "loader/signature_check.h"
#include "platform/files.h"
#include "support/file_crc32.h"
#include "support/file_utils.h"

namespace nurv {

std::optional<StageResult> SelectModuleRows(UpdateContext& ctx, const ModuleEntry& entry) {
  if (!FilterCatalogue(ctx.catalogue, entry.code)) return StageResult::NotRequired;
  // With trusted keys one row decides a single file: beside a second row of its code, which of
  // them decides would be the server's choice, so neither does.
  if (ctx.trusted_keys.configured() && entry.form != ModuleForm::Group &&
      ctx.catalogue.RecordCount() > 1) {
    ctx.ui.AddLogLine("--> ОШИБКА! Более одной строки обновления с кодом: [" +
                      EscapeControlBytes(std::string(entry.code)) + "]");
    return StageResult::Error;
  }
  std::vector<FolderKind> needed{entry.folder};
  if (entry.form == ModuleForm::Archive) needed.push_back(FolderKind::Temp);
  const OwnedFolders& owned = ctx.owned;
  std::optional<StageResult> unknown;
  for (const FolderKind kind : needed) {
    if (owned.IsKnown(kind)) continue;
    unknown = StageResult::Error;
    ctx.ui.AddLogLine("--> ОШИБКА! Папка выгрузки не задана: [" +
                      std::string(FolderSettingName(kind)) + "]");
  }
  return unknown;
}

db::Dataset* RowContents(UpdateContext& ctx, ContentsQuery& query) {
  db::Dataset& contents = query.Rows();
  if (!contents.Locate("vcode", ctx.catalogue.Field("vcode"))) return nullptr;
  if (contents.BlobIsNull("fblob")) return nullptr;
  return &contents;
}

std::unique_ptr<StagedFile> StageCheckedRow(UpdateContext& ctx, std::string_view code,
                                            const std::string& destination, db::Dataset& contents,
                                            const std::string& checksum_line,
                                            const std::optional<std::string>& written_line) {
  if (PatchedRow patched = StagePatchedRow(ctx, code, destination); patched.staged) {
    ctx.ui.WaitMs(100);
    if (written_line) {
      ctx.ui.AddLogLine(*written_line);
      ctx.ui.AddLogLine(patched.line);
    } else {
      ctx.patch_lines.push_back(patched.line);
    }
    return std::move(patched.staged);
  }
  auto staged = std::make_unique<StagedFile>(destination, ctx.trusted_keys.configured());
  ctx.ui.WaitMs(100);
  staged->WriteBlob(contents, "fblob");
  if (written_line) ctx.ui.AddLogLine(*written_line);
  // The catalogue row decided; its checksum and signature judge the bytes of its own vcode.
  const auto expected = static_cast<std::uint32_t>(ctx.catalogue.AsInt64("caption"));
  if (staged->crc32() != expected) {
    ctx.ui.AddLogLine(checksum_line);
    return nullptr;
  }
  if (!PlainBytesSigned(ctx, code, ctx.catalogue, staged->sha256(), destination)) return nullptr;
  return staged;
}

DateTime RowTime(const db::Dataset& row) { return TruncToMinute(row.AsDateTime("updatedate")); }

bool DateRuleNeedsWrite(DateTime row_time, const std::string& path) {
  return DateRuleNeedsWrite(row_time, platform::ReadFileFacts(path));
}

bool DateRuleNeedsWrite(DateTime row_time, const platform::FileFacts& file) {
  if (!file.exists_as_file || !file.modified) return true;
  return row_time > TruncToMinute(*file.modified);
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
