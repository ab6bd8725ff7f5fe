#include "loader/update_groups.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "base/text_utils.h"
#include "loader/catalogue_filter.h"
#include "loader/owned_folders.h"
#include "loader/update_files.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "rules/module_catalogue.h"
#include "support/file_utils.h"

namespace nurv {

namespace {

// The destination as the error line shows it when the name is refused, on one line.
std::string UncheckedDestination(const std::string& prefix, const std::string& name,
                                 const std::string& suffix) {
  std::string text = prefix + name + suffix;
  for (char& c : text)
    if (c == '\\' || c == '/') c = platform::kPathDelim;
  return EscapeControlBytes(text);
}

// The error line of a row, whatever ended it; the stage then counts as failed.
StageResult RowFailed(UpdateContext& ctx, const std::string& destination,
                      const std::string& message) {
  ctx.ui.AddLogLine("ОШИБКА выгрузки файла: [" + EscapeControlBytes(destination) + "]\r\n[" +
                    EscapeControlBytesKeepingLineBreaks(message) + "]");
  return StageResult::Error;
}

// One row of the walk: 0 skipped, 1 written, 9 failed with its log lines. An error raised here
// ends the row.
StageResult WriteGroupRow(UpdateContext& ctx, const ModuleEntry& entry,
                          const std::string& destination, const platform::FileFacts& installed,
                          ContentsQuery& query) {
  const bool templates = entry.folder == FolderKind::Templates;
  const DateTime row_time = RowTime(ctx.catalogue);
  if (!DateRuleNeedsWrite(row_time, installed)) return StageResult::NotRequired;
  db::Dataset* contents = RowContents(ctx, query);
  if (contents == nullptr) return StageResult::NotRequired;

  // A template the user set read-only is replaced; a read-only browser file is not (a rename
  // would replace it on POSIX, so the attribute is checked here).
  if (!templates && IsReadOnlyFile(destination))
    return RowFailed(ctx, destination, "Отказано в доступе");
  // Destination, time, checksum and signature all come from the one catalogue row.
  const auto staged = StageCheckedRow(ctx, entry.code, destination, *contents,
                                      "--> ОШИБКА выгрузки. Контрольная сумма файла [" +
                                          EscapeControlBytes(destination) + "] не верна",
                                      EscapeControlBytes(ctx.catalogue.AsString("name")));
  if (!staged) return StageResult::Error;
  if (templates) MakeFileWritable(destination);
  if (const auto error = staged->Replace(row_time)) return RowFailed(ctx, destination, *error);
  ctx.tally.AddFile(staged->size());
  return StageResult::Written;
}

}  // namespace

StageResult UpdateFileGroup(UpdateContext& ctx, const ModuleEntry& entry) {
  if (const auto done = SelectModuleRows(ctx, entry)) return *done;
  const OwnedFolders& owned = ctx.owned;
  const std::string prefix = ModuleFolderPrefix(entry, ctx.settings);
  const std::string suffix(entry.name_suffix);
  ContentsQuery query(ctx.connection,
                      std::string(kGroupContentsQuery) + db::SqlLiteral(entry.code));
  StageResult result = StageResult::NotRequired;
  for (; !ctx.catalogue.Eof(); ctx.catalogue.Next()) {
    std::string destination;
    try {
      const std::string name = ctx.catalogue.AsString("name");
      destination = UncheckedDestination(prefix, name, suffix);
      destination = GroupFileDestination(prefix, name, suffix);
      // One look-up of the installed file serves the loader check and the date rule.
      const platform::FileFacts installed = platform::ReadFileFacts(destination);
      owned.CheckDestination(destination, installed.id);
      result = Combined(result, WriteGroupRow(ctx, entry, destination, installed, query));
    } catch (const std::exception& e) {
      result = RowFailed(ctx, destination, e.what());
      // The database stays locked by another connection: every row left would fail alike.
      if (db::KindOf(e) == db::ErrorKind::Busy) break;
    }
  }
  return result;
}

}  // namespace nurv
