#include "publish/delta_patches.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/crc32.h"
#include "base/update_signature.h"
#include "base/utf8.h"
#include "db/create_table.h"
#include "db/table_exists.h"
#include "loader/staged_file.h"
#include "platform/files.h"
#include "publish/update_table.h"
#include "support/file_crc32.h"
#include "support/sevenzip_archive.h"
#include "support/signing.h"
#include "support/zstd_patch.h"

namespace nurv::publish {

namespace {

constexpr std::uint64_t kPatchShareDivisor = 2;

std::uint64_t FileSize(const std::string& path) {
  return std::filesystem::file_size(PathFromUtf8(path));
}

// The first item of the 7z archive `archive`, unpacked into `folder`; empty when there is none.
std::string FirstItem(const std::string& archive, const std::string& folder) {
  std::filesystem::create_directory(PathFromUtf8(folder));
  SevenZipArchive zip;
  std::string item;
  zip.ArchivePath = archive;
  zip.ExtractFolder = folder;
  zip.ItemIndexes = {"0"};
  zip.ExtractOptions = static_cast<unsigned>(ExtractOption::ExtractNoPath) |
                       static_cast<unsigned>(ExtractOption::ExtractOverwrite);
  zip.OnSetExtractName = [&item](std::uint32_t, std::string& name) {
    if (item.empty()) item = FileNameOf(name);
  };
  if (zip.Extract(false) < 0 || item.empty() || zip.DataCheckFailed) return {};
  return folder + "/" + item;
}

}  // namespace

std::string CreateDeltaTableStatement(db::Engine engine) {
  return db::CreateTableStatement(
      engine, "UpdatesDelta",
      {.sqlite = "vcode INTEGER NOT NULL, basesize INTEGER NOT NULL, basecrc INTEGER NOT NULL, "
                 "fullsize INTEGER NOT NULL, rowsha256 TEXT NOT NULL, patch BLOB NOT NULL, "
                 "PRIMARY KEY (vcode, basesize, basecrc)",
       .sql_server =
           "vcode int NOT NULL, basesize bigint NOT NULL, basecrc bigint NOT NULL, fullsize "
           "bigint NOT NULL, rowsha256 varchar(64) NOT NULL, patch varbinary(max) NOT NULL, "
           "PRIMARY KEY (vcode, basesize, basecrc)",
       .postgresql =
           "vcode integer NOT NULL, basesize bigint NOT NULL, basecrc bigint NOT NULL, "
           "fullsize bigint NOT NULL, rowsha256 varchar(64) NOT NULL, patch bytea NOT NULL, "
           "PRIMARY KEY (vcode, basesize, basecrc)"});
}

bool DeltaTableExists(db::Connection& connection) {
  return db::TableExists(connection, "updatesdelta");
}

std::vector<std::pair<std::string, std::string>> ReplacedFiles(db::Connection& connection,
                                                               const ModuleEntry& module,
                                                               const WorkFolder& work) {
  std::vector<std::pair<std::string, std::string>> files;
  auto rows = connection.OpenDataset("SELECT vcode, name, fblob FROM UpdatesBLOB WHERE tdoc = " +
                                     db::SqlLiteral(module.code));
  for (rows->First(); !rows->Eof(); rows->Next()) {
    if (rows->BlobIsNull("fblob") || IsNull(rows->Field("name"))) continue;
    const std::string saved = work.Sub("replaced-" + rows->AsString("vcode"));
    SaveBlobAsNewFile(*rows, saved);
    std::string landed = saved;
    if (module.form == ModuleForm::Archive) landed = FirstItem(saved, saved + ".item");
    if (!landed.empty()) files.emplace_back(rows->AsString("name"), landed);
  }
  return files;
}

int InsertPatches(db::Connection& connection, std::int64_t vcode, const std::string& landed,
                  const std::string& blob, const std::vector<std::string>& bases,
                  const WorkFolder& work) {
  const std::uint64_t full_size = FileSize(blob);
  const auto target = ReadFileUpTo(landed, kMaxPatchedFileSize);
  if (!target) return 0;
  // A patch pays its way only when clearly smaller than the row it stands in for, and than the
  // file compressed without its base: a base that gives nothing makes no patch.
  const std::uint64_t limit =
      std::min<std::uint64_t>(full_size, CompressedSize(*target)) / kPatchShareDivisor;
  const std::string stored = HexText(BytesOf(FileSha256(blob).digest));
  connection.Execute("DELETE FROM UpdatesDelta WHERE vcode = ?", {Value(vcode)});
  std::set<std::pair<std::int64_t, std::uint32_t>> written;
  for (const std::string& base_path : bases) {
    const auto base = ReadFileUpTo(base_path, kMaxPatchedFileSize);
    if (!base) continue;
    const auto size = static_cast<std::int64_t>(base->size());
    const std::uint32_t crc = ~Crc32UpdateBlock(0xFFFFFFFFu, base->data(), base->size());
    // The same bytes as the new file need no patch: the loader's date or version rule skips them.
    if (*base == *target || !written.insert({size, crc}).second) continue;
    const std::vector<std::uint8_t> patch = MakePatch(*base, *target);
    if (patch.size() >= limit) continue;
    const std::string patch_path = work.Sub("patch-" + std::to_string(written.size()));
    {
      CheckedNewFile file(patch_path, false);
      file.Write(patch.data(), patch.size());
      file.Finish(std::nullopt);
      file.Keep();
    }
    connection.Insert("UpdatesDelta", {{"vcode", Value(vcode)},
                                       {"basesize", Value(size)},
                                       {"basecrc", Value(static_cast<std::int64_t>(crc))},
                                       {"fullsize", Value(static_cast<std::int64_t>(full_size))},
                                       {"rowsha256", Value(stored)},
                                       {"patch", db::BlobFile{patch_path}}});
    std::filesystem::remove(PathFromUtf8(patch_path));
  }
  return static_cast<int>(written.size());
}

void ListPatches(db::Connection& connection, std::ostream& out) {
  if (!DeltaTableExists(connection)) return;
  auto rows = connection.OpenDataset("SELECT vcode, basesize, basecrc, " +
                                     BlobSizeExpression(connection.engine(), "patch") +
                                     " AS psize FROM UpdatesDelta ORDER BY vcode, basesize");
  for (rows->First(); !rows->Eof(); rows->Next())
    out << rows->AsInt64("vcode") << "\tразность\t" << rows->AsInt64("basesize") << '\t'
        << rows->AsInt64("basecrc") << '\t' << rows->AsInt64("psize") << '\n';
}

}  // namespace nurv::publish
