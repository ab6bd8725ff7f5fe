#pragma once
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/utf8.h"
#include "base/value.h"
#include "db/database.h"
#include "loader/staged_file.h"
#include "loader/update_context.h"
#include "loader/update_result.h"
#include "platform/files.h"
#include "rules/module_catalogue.h"
#include "support/file_utils.h"

// File steps shared by the update routines.
namespace nurv {

// Filters the catalogue to the rows of `entry` and stands on the first (an error of the filter
// passes to the caller). When there is nothing to do, the stage's code: 0 for no row; 9 when a
// folder the module needs (its own, and the temporary folder for an archive) is unknown, each
// unknown folder logged, before any file is touched; 9 with its line when keys are trusted and a
// single-file module has more than one row.
std::optional<StageResult> SelectModuleRows(UpdateContext& ctx, const ModuleEntry& entry);

// The contents query of one walk over a code's rows: opened on the first row to write, at most
// once, and released with the object, however the walk ends.
class ContentsQuery {
 public:
  ContentsQuery(db::Connection& connection, std::string sql)
      : connection_(connection), sql_(std::move(sql)) {}

  db::Dataset& Rows() {
    if (!rows_) rows_ = connection_.OpenDataset(sql_);
    return *rows_;
  }

 private:
  db::Connection& connection_;
  std::string sql_;
  std::unique_ptr<db::Dataset> rows_;
};

// The contents of the catalogue's current row, located by its `vcode` in the query's rows; none
// when the row is gone from them or its BLOB is NULL: nothing to write.
db::Dataset* RowContents(UpdateContext& ctx, ContentsQuery& query);

// The row staged from a patch of the installed file when one fits (StagePatchedRow; its line
// logged after `written_line`, or for a single file kept for the end of the stage), else the
// BLOB of `contents` staged beside `destination` (after the pause every row takes), then
// checked against the catalogue row that decided: its CRC-32 (`checksum_line` logged when it
// differs), then with trusted keys its signature (the refusal logged). `written_line`, when given,
// is logged once the bytes are written. nullptr when the row is refused.
std::unique_ptr<StagedFile> StageCheckedRow(UpdateContext& ctx, std::string_view code,
                                            const std::string& destination, db::Dataset& contents,
                                            const std::string& checksum_line,
                                            const std::optional<std::string>& written_line = {});

// The date rule's row time: the current row's `updatedate` trimmed to the minute
// (ConversionError for NULL).
DateTime RowTime(const db::Dataset& row);
// The date rule: true when `row_time` is later than the file's trimmed modification time; a path
// that is not an existing file always needs writing.
bool DateRuleNeedsWrite(DateTime row_time, const std::string& path);
// The same on facts already read of the file.
bool DateRuleNeedsWrite(DateTime row_time, const platform::FileFacts& file);

// The CRC-32 of a file the stage wrote or unpacked. A failure to read it is shown in a message box
// naming the file and the platform's text, and the checksum is then what FileCrc32 gives (0 for a
// file that could not be opened), so the caller's comparison fails and logs its own line.
std::uint32_t ReportedFileCrc32(LoaderUi& ui, const std::string& path);

// True when `path` exists and carries the read-only attribute.
bool IsReadOnlyFile(const std::string& path);

}  // namespace nurv
