#include "publish/publish_commands.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "base/date_utils.h"
#include "base/four_part_version.h"
#include "base/text_utils.h"
#include "base/utf8.h"
#include "base/version_key.h"
#include "platform/files.h"
#include "publish/delta_patches.h"
#include "publish/group_names.h"
#include "publish/update_table.h"
#include "publish/work_folder.h"
#include "support/file_crc32.h"
#include "support/product_version.h"
#include "support/sevenzip_writer.h"
#include "support/signing.h"

namespace nurv::publish {

namespace {

namespace fs = std::filesystem;

std::uint32_t ChecksumOf(const std::string& file) {
  const FileChecksum checksum = FileCrc32(file);
  if (!checksum.error.empty())
    throw PublishError("Файл " + file + " не прочитан: " + checksum.error);
  return checksum.crc;
}

// The row's time: --date, else the file's modification time to the second.
DateTime RowTime(const std::string& file, const PublishOptions& options) {
  if (options.date) return *options.date;
  const auto modified = platform::ReadModifiedTime(file);
  if (!modified) throw PublishError("Нет такого файла: " + file);
  return std::chrono::floor<std::chrono::seconds>(*modified);
}

// The version text of a version-rule module: the file's own, or --version where the file has
// none or (with --force) where they differ.
std::string ModuleVersion(const std::string& file, const PublishOptions& options) {
  FourPartVersion own;
  const bool has_own = ReadFileProductVersion(file, own);
  if (!has_own) {
    if (!options.version)
      throw PublishError("У файла " + file + " нет версии: укажите её ключом --version");
    return *options.version;
  }
  if (options.version && VersionKey(*options.version) != VersionKey(own) && !options.force)
    throw PublishError("Версия " + *options.version + " не совпадает с версией файла " +
                       VersionText(own) + " (--force публикует её всё равно)");
  return options.version ? *options.version : VersionText(own);
}

std::string ArchiveName(std::string_view file_name) {
  const std::string name(file_name);
  const std::size_t dot = name.rfind('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + ".7z";
}

void ReportRow(std::ostream& report, const NewRow& row) {
  report << row.code << '\t' << row.name << '\t' << row.version.value_or("") << '\t' << row.caption
         << '\t' << SqlDateTimeText(row.updatedate) << '\n';
}

// A group's file found under its folder.
struct GroupFile {
  std::string name;  // the row's name
  std::string path;
};

std::vector<GroupFile> FilesOfGroup(const ModuleEntry& group, const std::string& folder) {
  const fs::path root = PathFromUtf8(folder);
  std::error_code error;
  if (!fs::is_directory(root, error)) throw PublishError("Нет такой папки: " + folder);
  std::vector<GroupFile> files;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::end(it);
       it.increment(error)) {
    if (!it->is_regular_file() || it->is_symlink()) continue;
    std::string name = Utf8FromPath(it->path().lexically_relative(root));
    std::replace(name.begin(), name.end(), '/', '\\');
    const std::string suffix(group.name_suffix);
    if (!suffix.empty()) {
      const bool has_suffix =
          name.size() > suffix.size() &&
          LowerCaseText(name.substr(name.size() - suffix.size())) == LowerCaseText(suffix);
      if (!has_suffix)
        throw PublishError("Файл " + name + " группы " + std::string(group.code) +
                           " должен оканчиваться на " + suffix);
      name.resize(name.size() - suffix.size());
    }
    files.push_back({name, Utf8FromPath(it->path())});
  }
  if (error) throw PublishError("Папка " + folder + " не прочитана: " + error.message());
  std::sort(files.begin(), files.end(),
            [](const GroupFile& a, const GroupFile& b) { return a.name < b.name; });
  return files;
}

// The names of the rows of `code` in the table.
std::vector<std::string> NamesInTable(db::Connection& connection, const std::string& code) {
  auto rows =
      connection.OpenDataset("SELECT name FROM UpdatesBLOB WHERE tdoc = " + db::SqlLiteral(code));
  std::vector<std::string> names;
  for (rows->First(); !rows->Eof(); rows->Next())
    if (!IsNull(rows->Field("name"))) names.push_back(rows->AsString("name"));
  return names;
}

Sha256Digest DigestOf(const std::string& file) {
  const FileDigest digest = FileSha256(file);
  if (!digest.error.empty()) throw PublishError("Файл " + file + " не прочитан: " + digest.error);
  return digest.digest;
}

// Refuses to sign into a table made before signatures were kept (before anything is written).
void CheckSignable(db::Connection& connection, const PublishOptions& options) {
  if (options.key && !SignTableExists(connection))
    throw PublishError("Таблицы UpdatesSign нет: создайте её командой init");
}

// Refuses patches from named releases into a table made before patches were kept.
void CheckPatchable(db::Connection& connection, const PublishOptions& options) {
  if (!options.delta_from.empty() && !DeltaTableExists(connection))
    throw PublishError("Таблицы UpdatesDelta нет: создайте её командой init");
}

// Inserts the rows and, with a key, the signature of each, in the caller's transaction; the rows'
// vcodes in order.
std::vector<std::int64_t> InsertSignedRows(db::Connection& connection,
                                           const std::vector<NewRow>& rows,
                                           const PublishOptions& options) {
  const std::vector<std::int64_t> vcodes = InsertRows(connection, rows);
  if (!options.key) return vcodes;
  const std::string key_id = KeyId(PublicKeyOf(*options.key));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const NewRow& row = rows[i];
    const SignedFields fields{row.code,
                              row.name,
                              row.version,
                              row.updatedate,
                              row.caption,
                              DigestOf(row.landed_path),
                              DigestOf(row.blob_path)};
    InsertSignature(connection, vcodes[i], fields.landed,
                    SignMessage(SignedMessage(fields), *options.key), key_id);
  }
  return vcodes;
}

// The patches of each new row from its bases (by row name), in the caller's transaction.
void InsertRowPatches(db::Connection& connection, const std::vector<NewRow>& rows,
                      const std::vector<std::int64_t>& vcodes,
                      const std::multimap<std::string, std::string>& bases, const WorkFolder& work,
                      std::ostream& report) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::vector<std::string> paths;
    for (auto [it, end] = bases.equal_range(rows[i].name); it != end; ++it)
      if (platform::FileExists(it->second)) paths.push_back(it->second);
    if (const int written = InsertPatches(connection, vcodes[i], rows[i].landed_path,
                                          rows[i].blob_path, paths, work))
      report << "Разностей для " << rows[i].name << ": " << written << '\n';
  }
}

std::string CellText(const db::Dataset& rows, const std::string& column) {
  const Value value = rows.Field(column);
  if (IsNull(value) || std::holds_alternative<std::monostate>(value)) return "NULL";
  if (const auto* time = std::get_if<DateTime>(&value)) return SqlDateTimeText(*time);
  // One row a line, one field between tabs, whatever a text holds.
  return EscapeControlBytes(ValueText(value).value_or(""));
}

}  // namespace

void InitTable(db::Connection& connection, std::ostream& report) {
  const bool blob_table = UpdateTableExists(connection);
  const bool sign_table = SignTableExists(connection);
  const bool delta_table = DeltaTableExists(connection);
  db::Transaction transaction(connection);
  if (!blob_table) connection.Execute(CreateTableStatement(connection.engine()));
  if (!sign_table) connection.Execute(CreateSignTableStatement(connection.engine()));
  if (!delta_table) connection.Execute(CreateDeltaTableStatement(connection.engine()));
  transaction.Commit();
  report << (blob_table ? "Таблица UpdatesBLOB уже есть\n" : "Таблица UpdatesBLOB создана\n")
         << (sign_table ? "Таблица UpdatesSign уже есть\n" : "Таблица UpdatesSign создана\n")
         << (delta_table ? "Таблица UpdatesDelta уже есть\n" : "Таблица UpdatesDelta создана\n");
}

void PublishModule(db::Connection& connection, const ModuleEntry& module, const std::string& file,
                   const PublishOptions& options, std::ostream& report) {
  if (!platform::FileExists(file)) throw PublishError("Нет такого файла: " + file);
  NewRow row;
  row.code = std::string(module.code);
  row.name = std::string(module.file_name);
  if (module.rule == UpdateRule::Version) row.version = ModuleVersion(file, options);
  row.updatedate = RowTime(file, options);
  row.caption = ChecksumOf(file);
  row.blob_path = file;
  row.landed_path = file;
  const WorkFolder work;
  if (module.form == ModuleForm::Archive) {
    row.blob_path = work.Sub(ArchiveName(module.file_name));
    CreateSingleItemArchive(row.blob_path, file, row.name, SevenZipLibraryCandidates());
  }
  CheckSignable(connection, options);
  CheckPatchable(connection, options);
  const bool patches = DeltaTableExists(connection);
  // Every base goes under the one row's name, whatever the file replaced was called.
  std::multimap<std::string, std::string> bases;
  for (const std::string& base : options.delta_from) bases.emplace(row.name, base);
  db::Transaction transaction(connection);
  if (patches)
    for (const auto& replaced : ReplacedFiles(connection, module, work))
      bases.emplace(row.name, replaced.second);
  DeleteRows(connection, row.code);
  const std::vector<std::int64_t> vcodes = InsertSignedRows(connection, {row}, options);
  std::ostringstream done;
  ReportRow(done, row);
  if (patches) InsertRowPatches(connection, {row}, vcodes, bases, work, done);
  transaction.Commit();
  report << done.str();
}

void PublishGroup(db::Connection& connection, const ModuleEntry& group, const std::string& folder,
                  const PublishOptions& options, std::ostream& report) {
  const std::vector<GroupFile> files = FilesOfGroup(group, folder);
  std::vector<std::string> names;
  std::string refusals;
  for (const GroupFile& file : files) {
    names.push_back(file.name);
    if (const auto refusal = GroupNameRefusal(group, file.name)) refusals += "\n" + *refusal;
  }
  const std::string code(group.code);
  if (options.keep) {
    for (const std::string& kept : NamesInTable(connection, code))
      if (std::find(names.begin(), names.end(), kept) == names.end()) names.push_back(kept);
  }
  for (const std::string& twin : CaseDuplicates(names))
    refusals += "\nИмя совпадает с другим без учёта регистра: " + twin;
  if (!refusals.empty()) throw PublishError("Имена файлов отклонены:" + refusals);

  std::vector<NewRow> rows;
  for (const GroupFile& file : files) {
    NewRow row;
    row.code = code;
    row.name = file.name;
    row.updatedate = RowTime(file.path, options);
    row.caption = ChecksumOf(file.path);
    row.blob_path = file.path;
    row.landed_path = file.path;
    rows.push_back(std::move(row));
  }
  CheckSignable(connection, options);
  CheckPatchable(connection, options);
  const bool patches = DeltaTableExists(connection);
  const WorkFolder work;
  std::multimap<std::string, std::string> bases;
  for (const std::string& release : options.delta_from)
    for (const GroupFile& file : FilesOfGroup(group, release)) bases.emplace(file.name, file.path);
  db::Transaction transaction(connection);
  if (patches)
    for (auto& replaced : ReplacedFiles(connection, group, work)) bases.insert(std::move(replaced));
  if (options.keep) {
    std::vector<std::string> replaced;
    for (const NewRow& row : rows) replaced.push_back(row.name);
    if (!replaced.empty()) DeleteRows(connection, code, replaced);
  } else {
    DeleteRows(connection, code);
  }
  const std::vector<std::int64_t> vcodes = InsertSignedRows(connection, rows, options);
  std::ostringstream done;
  for (const NewRow& row : rows) ReportRow(done, row);
  if (patches) InsertRowPatches(connection, rows, vcodes, bases, work, done);
  transaction.Commit();
  report << done.str();
}

void ListRows(db::Connection& connection, std::ostream& out) {
  const std::string size = BlobSizeExpression(connection.engine(), "fblob");
  auto rows = connection.OpenDataset("SELECT vcode, tdoc, name, version, caption, updatedate, " +
                                     size + " AS fsize FROM UpdatesBLOB ORDER BY vcode");
  for (rows->First(); !rows->Eof(); rows->Next()) {
    const char* separator = "";
    for (const char* column :
         {"vcode", "tdoc", "name", "version", "caption", "updatedate", "fsize"}) {
      out << separator << CellText(*rows, column);
      separator = "\t";
    }
    out << '\n';
  }
  ListPatches(connection, out);
}

void RemoveRows(db::Connection& connection, const std::string& code,
                const std::vector<std::string>& names, std::ostream& report) {
  db::Transaction transaction(connection);
  const std::int64_t deleted = DeleteRows(connection, code, names);
  transaction.Commit();
  report << "Удалено строк: " << deleted << '\n';
}

}  // namespace nurv::publish
