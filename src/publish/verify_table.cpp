#include "publish/verify_table.h"

#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "base/four_part_version.h"
#include "base/text_utils.h"
#include "base/utf8.h"
#include "base/version_key.h"
#include "loader/staged_file.h"
#include "publish/delta_patches.h"
#include "publish/group_names.h"
#include "publish/update_table.h"
#include "publish/work_folder.h"
#include "rules/loader_files.h"
#include "rules/module_catalogue.h"
#include "rules/row_signature.h"
#include "support/file_crc32.h"
#include "support/product_version.h"
#include "support/sevenzip_archive.h"
#include "support/signing.h"

namespace nurv::publish {

namespace {

// The code as the loader's filter matches it: without regard to case or trailing blanks.
const ModuleEntry* EntryOf(std::string code) {
  while (!code.empty() && code.back() == ' ') code.pop_back();
  for (const ModuleEntry& entry : ModuleCatalogue())
    if (EqualsIgnoringAsciiCase(entry.code, code)) return &entry;
  return nullptr;
}

std::string TextOrEmpty(const db::Dataset& rows, const std::string& column) {
  const Value value = rows.Field(column);
  return ValueText(value).value_or("");
}

class Verifier {
 public:
  Verifier(db::Connection& connection, const TrustedKeys& keys, std::ostream& out)
      : connection_(connection), keys_(keys), out_(out) {}

  int Run() {
    signatures_kept_ = keys_.configured() && SignTableExists(connection_);
    auto rows = connection_.OpenDataset(
        "SELECT vcode, tdoc, name, version, caption, updatedate, fblob FROM UpdatesBLOB ORDER BY "
        "vcode");
    CountRows(*rows);
    ReadPatches();
    for (rows->First(); !rows->Eof(); rows->Next()) CheckRow(*rows);
    // What is left belongs to no row.
    code_.clear();
    name_.clear();
    for (const auto& [vcode, patches] : patches_) {
      vcode_ = std::to_string(vcode);
      for (const PatchFacts& patch : patches) Problem(patch.base + " без строки UpdatesBLOB");
    }
    return problems_;
  }

 private:
  // Rows per single-file code and the group names that clash without regard to case.
  void CountRows(db::Dataset& rows) {
    std::map<const ModuleEntry*, std::vector<std::string>> names;
    for (rows.First(); !rows.Eof(); rows.Next()) {
      const ModuleEntry* entry = EntryOf(TextOrEmpty(rows, "tdoc"));
      if (entry == nullptr) continue;
      ++rows_of_[entry];
      if (entry->form == ModuleForm::Group) names[entry].push_back(TextOrEmpty(rows, "name"));
    }
    for (const auto& [entry, group_names] : names)
      for (const std::string& twin : CaseDuplicates(group_names)) case_twins_[entry].insert(twin);
  }

  // A patch as verify names it, and what it must match of its row.
  struct PatchFacts {
    std::string base;
    std::int64_t full_size = 0;
    std::string row_sha256;
  };

  void ReadPatches() {
    if (!DeltaTableExists(connection_)) return;
    auto rows = connection_.OpenDataset(
        "SELECT vcode, basesize, basecrc, fullsize, rowsha256 FROM UpdatesDelta");
    for (rows->First(); !rows->Eof(); rows->Next()) {
      patches_[rows->AsInt64("vcode")].push_back(
          {"разность от файла " + rows->AsString("basesize") + " байт, CRC-32 " +
               rows->AsString("basecrc"),
           rows->AsInt64("fullsize"), rows->AsString("rowsha256")});
    }
  }

  // The patches of the row saved to `blob` must have been made for exactly these bytes.
  void CheckPatches(std::int64_t vcode, const std::string& blob) {
    const auto found = patches_.find(vcode);
    if (found == patches_.end()) return;
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(PathFromUtf8(blob)));
    const std::string digest = HexText(BytesOf(FileSha256(blob).digest));
    for (const PatchFacts& patch : found->second)
      if (patch.full_size != size || patch.row_sha256 != digest)
        Problem(patch.base + " сделана не для этой строки");
    patches_.erase(found);
  }

  void Problem(const std::string& what, bool warning = false) {
    // One problem a line, one field between tabs, whatever the row's texts hold.
    out_ << EscapeControlBytes(vcode_) << '\t' << EscapeControlBytes(code_) << '\t'
         << EscapeControlBytes(name_) << '\t' << (warning ? "предупреждение: " : "")
         << EscapeControlBytes(what) << '\n';
    if (!warning) ++problems_;
  }

  void CheckRow(db::Dataset& rows) {
    vcode_ = TextOrEmpty(rows, "vcode");
    code_ = TextOrEmpty(rows, "tdoc");
    name_ = TextOrEmpty(rows, "name");
    const ModuleEntry* entry = EntryOf(code_);
    if (entry == nullptr) {
      Problem("код, неизвестный загрузчику", true);
      return;
    }
    if (entry->form != ModuleForm::Group && rows_of_[entry] > 1 && !seen_.insert(entry).second)
      Problem("ещё одна строка кода " + std::string(entry->code) +
              " (строк: " + std::to_string(rows_of_[entry]) + "); у модуля должна быть одна");
    if (entry->form == ModuleForm::Group) CheckGroupName(*entry, rows);
    try {
      rows.AsDateTime("updatedate");
    } catch (const db::ConversionError& error) {
      Problem(std::string("updatedate: ") + error.what());
    }
    std::optional<std::uint32_t> caption;
    try {
      caption = static_cast<std::uint32_t>(rows.AsInt64("caption"));
    } catch (const db::ConversionError& error) {
      Problem(std::string("caption: ") + error.what());
    }
    if (rows.BlobIsNull("fblob")) {
      Problem("fblob пуст (NULL)");
      return;
    }
    const std::string blob = work_.Sub("row");
    SaveBlobAsNewFile(rows, blob);
    CheckPatches(rows.AsInt64("vcode"), blob);
    CheckContents(*entry, rows, blob, caption);
    std::filesystem::remove(PathFromUtf8(blob));
  }

  // The bytes of the row saved to `blob`: with keys, their signature first, and nothing of bytes
  // it does not vouch for is read further (7-Zip never sees an unverified archive).
  void CheckContents(const ModuleEntry& entry, const db::Dataset& rows, const std::string& blob,
                     std::optional<std::uint32_t> caption) {
    std::optional<Sha256Digest> vouched;
    if (keys_.configured()) {
      vouched = SignedLandedDigest(entry, rows, blob);
      if (!vouched) return;
    }
    landed_.reset();
    if (entry.form == ModuleForm::Archive) {
      CheckArchive(entry, rows, blob, caption);
    } else {
      CheckChecksum(blob, caption);
      landed_ = FileSha256(blob);
    }
    if (vouched && landed_ && landed_->error.empty() && landed_->digest != *vouched)
      Problem("SHA-256 файла не совпадает с подписанной");
  }

  // The row's signature against the trusted keys, over its fields and the stored bytes in
  // `blob`: the digest of the landed bytes it vouches for, or nullopt (the problem reported).
  std::optional<Sha256Digest> SignedLandedDigest(const ModuleEntry& entry, const db::Dataset& rows,
                                                 const std::string& blob) {
    std::optional<SignatureRecord> record;
    if (signatures_kept_) record = ReadSignatureRecord(connection_, rows.AsInt64("vcode"));
    SignedFields fields;
    try {
      fields = SignedFieldsOfRow(entry.code, rows);
    } catch (const db::ConversionError&) {
      Problem("подпись не проверена: поля строки не читаются");
      return std::nullopt;
    }
    fields.stored = FileSha256(blob).digest;
    switch (CheckSignature(record, fields, keys_)) {
      case SignatureVerdict::Missing:
        Problem("строка не подписана");
        return std::nullopt;
      case SignatureVerdict::UnknownKey:
        Problem("подписана ключом " + EscapeControlBytes(record->key_id) +
                ", которому здесь не доверяют");
        return std::nullopt;
      case SignatureVerdict::BadSignature:
        Problem("подпись не верна: строка изменена после подписи");
        return std::nullopt;
      case SignatureVerdict::Good:
        break;
    }
    return record->landed;
  }

  void CheckGroupName(const ModuleEntry& entry, const db::Dataset& rows) {
    if (IsNull(rows.Field("name"))) {
      Problem("name пуст (NULL)");
      return;
    }
    const std::string name = rows.AsString("name");
    if (const auto refusal = GroupNameRefusal(entry, name)) Problem(*refusal);
    if (case_twins_[&entry].contains(name))
      Problem("имя совпадает с другим именем группы без учёта регистра");
  }

  void CheckChecksum(const std::string& file, std::optional<std::uint32_t> caption) {
    const FileChecksum checksum = FileCrc32(file);
    if (!checksum.error.empty())
      Problem("файл не прочитан: " + checksum.error);
    else if (caption && checksum.crc != *caption)
      Problem("CRC-32 файла " + std::to_string(checksum.crc) + ", в caption " +
              std::to_string(*caption));
  }

  void CheckArchive(const ModuleEntry& entry, const db::Dataset& rows, const std::string& archive,
                    std::optional<std::uint32_t> caption) {
    if (!Component()) {
      Problem("архив не проверен: " + SevenZipLoadErrorText());
      return;
    }
    const std::string folder = work_.Sub("item");
    std::filesystem::create_directory(PathFromUtf8(folder));
    std::string item;
    zip_->ArchivePath = archive;
    zip_->ExtractFolder = folder;
    zip_->ItemIndexes = {"0"};
    zip_->ExtractOptions = static_cast<unsigned>(ExtractOption::ExtractNoPath) |
                           static_cast<unsigned>(ExtractOption::ExtractOverwrite);
    zip_->OnSetExtractName = [&item](std::uint32_t, std::string& name) {
      if (item.empty()) item = FileNameOf(name);
    };
    const std::int32_t result = zip_->Extract(false);
    CheckItem(entry, rows, result, item, folder, caption);
    std::filesystem::remove_all(PathFromUtf8(folder));
  }

  void CheckItem(const ModuleEntry& entry, const db::Dataset& rows, std::int32_t result,
                 const std::string& item, const std::string& folder,
                 std::optional<std::uint32_t> caption) {
    if (result < 0 || item.empty()) {
      Problem("архив 7z не читается или пуст");
      return;
    }
    if (item != entry.file_name) {
      Problem("первый элемент архива назван " + item + ", а не " + std::string(entry.file_name));
      return;
    }
    const std::string file = folder + "/" + item;
    std::error_code error;
    if (!std::filesystem::is_regular_file(
            std::filesystem::symlink_status(PathFromUtf8(file), error))) {
      Problem("первый элемент архива — не файл");
      return;
    }
    // 1: the component stopped the library after the selected item, as it does for a selection.
    if (result != 0 && result != 1) Problem("архив распакован с ошибкой " + std::to_string(result));
    if (zip_->DataCheckFailed) Problem("данные архива не прошли проверку 7-Zip");
    CheckChecksum(file, caption);
    landed_ = FileSha256(file);
    if (entry.rule != UpdateRule::Version) return;
    FourPartVersion own;
    ReadFileProductVersion(file, own);
    const std::string row_version = TextOrEmpty(rows, "version");
    if (VersionKey(own) != VersionKey(row_version))
      Problem("версия файла " + VersionText(own) + ", в version " +
              (IsNull(rows.Field("version")) ? std::string("NULL") : row_version));
  }

  // The 7-Zip component, loaded at the first archived row; nullptr when there is no library.
  SevenZipArchive* Component() {
    if (!zip_ && !zip_missing_) {
      try {
        zip_ = std::make_unique<SevenZipArchive>();
      } catch (const SevenZipLoadError&) {
        zip_missing_ = true;
      }
    }
    return zip_.get();
  }

  db::Connection& connection_;
  const TrustedKeys& keys_;
  bool signatures_kept_ = false;      // UpdatesSign is there to be read
  std::optional<FileDigest> landed_;  // the digest of the current row's bytes as they land
  std::ostream& out_;
  WorkFolder work_;
  std::unique_ptr<SevenZipArchive> zip_;
  bool zip_missing_ = false;
  std::map<const ModuleEntry*, int> rows_of_;
  std::map<const ModuleEntry*, std::set<std::string>> case_twins_;
  std::set<const ModuleEntry*> seen_;
  std::map<std::int64_t, std::vector<PatchFacts>> patches_;  // by vcode, until their row is seen
  std::string vcode_, code_, name_;
  int problems_ = 0;
};

}  // namespace

int VerifyTable(db::Connection& connection, const TrustedKeys& keys, std::ostream& out) {
  return Verifier(connection, keys, out).Run();
}

}  // namespace nurv::publish
