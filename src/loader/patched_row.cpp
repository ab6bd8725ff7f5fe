#include "loader/patched_row.h"

#include <exception>
#include <filesystem>
#include <functional>
#include <system_error>

#include "base/crc32.h"
#include "base/utf8.h"
#include "loader/signature_check.h"
#include "rules/update_delta.h"
#include "support/zstd_patch.h"

namespace nurv {

namespace {

// The size of an installed regular file; -1 for anything else.
std::int64_t InstalledSize(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(PathFromUtf8(path), error);
  if (error || !std::filesystem::is_regular_file(status)) return -1;
  const auto size = std::filesystem::file_size(PathFromUtf8(path), error);
  return error ? -1 : static_cast<std::int64_t>(size);
}

// What a patch's result is checked against, and how its bytes come.
struct PatchSource {
  std::int64_t full_size = 0;
  std::string row_sha256;  // hex
  std::function<void(const db::BlobSink&)> read;
};

PatchedRow Stage(UpdateContext& ctx, std::string_view code, const std::string& destination,
                 const std::vector<std::uint8_t>& base, const PatchSource& source) {
  const auto stored = BytesOfHex(source.row_sha256);
  auto staged = std::make_unique<StagedFile>(destination, ctx.trusted_keys.configured());
  PatchDecoder decoder(
      base, [&](const std::uint8_t* data, std::size_t size) { staged->Write(data, size); });
  std::int64_t read = 0;
  source.read([&](const std::uint8_t* data, std::size_t size) {
    read += static_cast<std::int64_t>(size);
    decoder.Feed(data, size);
  });
  decoder.Finish();
  if (staged->crc32() != static_cast<std::uint32_t>(ctx.catalogue.AsInt64("caption"))) return {};
  const Sha256Digest landed = staged->sha256();
  if (ctx.trusted_keys.configured() &&
      !(stored && BytesSignedQuietly(ctx, code, ctx.catalogue,
                                     ArrayOf<32>(*stored).value_or(Sha256Digest{}), landed)))
    return {};
  return {std::move(staged), "    получено разностью: " + std::to_string(read) + " из " +
                                 std::to_string(source.full_size) + " байт"};
}

// The patch from `key` out of those held, or else read on its own (three statements).
PatchedRow StageFrom(UpdateContext& ctx, std::string_view code, const std::string& destination,
                     const std::vector<std::uint8_t>& base, const PatchBase& key) {
  if (!ctx.patches->held_read())
    HoldSmallPatches(*ctx.patches, ctx.connection, ctx.held_patch_bytes);
  if (const HeldPatch* held = ctx.patches->Held(key)) {
    return Stage(ctx, code, destination, base,
                 {held->full_size, held->row_sha256, [held](const db::BlobSink& sink) {
                    sink(reinterpret_cast<const std::uint8_t*>(held->bytes.data()),
                         held->bytes.size());
                  }});
  }
  auto rows = ctx.connection.OpenDataset(PatchQuery(key));
  rows->First();
  if (rows->Eof()) return {};
  return Stage(ctx, code, destination, base,
               {rows->AsInt64("fullsize"), rows->AsString("rowsha256"),
                [&rows](const db::BlobSink& sink) { rows->ReadBlob("patch", sink); }});
}

}  // namespace

PatchedRow StagePatchedRow(UpdateContext& ctx, std::string_view code,
                           const std::string& destination) {
  try {
    if (!ctx.patches) ctx.patches = ReadPatchIndex(ctx.connection);
    const std::int64_t vcode = ctx.catalogue.AsInt64("vcode");
    const std::int64_t size = InstalledSize(destination);
    if (!ctx.patches->HasSize(vcode, size)) return {};
    // The patch is matched on the very bytes it is applied to: a file changed after the match
    // cannot slip in.
    const auto base = ReadFileUpTo(destination, kMaxPatchedFileSize);
    if (!base) return {};
    const PatchBase key{vcode, static_cast<std::int64_t>(base->size()),
                        ~Crc32UpdateBlock(0xFFFFFFFFu, base->data(), base->size())};
    if (!ctx.patches->Has(key)) return {};
    return StageFrom(ctx, code, destination, *base, key);
  } catch (const std::exception&) {
    // A damaged patch, a result that fails its check, a read that fails: the full row follows,
    // and reports whatever is wrong with it.
    return {};
  }
}

}  // namespace nurv
