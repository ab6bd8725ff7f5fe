#include "rules/update_delta.h"

#include <algorithm>
#include <exception>

namespace nurv {

namespace {

constexpr char kPatchColumns[] = "SELECT vcode, basesize, basecrc, fullsize, rowsha256, patch";

PatchBase BaseOf(const db::Dataset& rows) {
  return {rows.AsInt64("vcode"), rows.AsInt64("basesize"),
          static_cast<std::uint32_t>(rows.AsInt64("basecrc"))};
}

}  // namespace

bool PatchIndex::HasSize(std::int64_t vcode, std::int64_t size) const {
  return std::any_of(listed_.begin(), listed_.end(), [&](const Listed& listed) {
    return listed.base.vcode == vcode && listed.base.size == size;
  });
}

bool PatchIndex::Has(const PatchBase& base) const {
  return std::any_of(listed_.begin(), listed_.end(),
                     [&](const Listed& listed) { return listed.base == base; });
}

std::int64_t PatchIndex::HeldSizeLimit(std::int64_t bound) const {
  std::vector<std::int64_t> sizes;
  for (const Listed& listed : listed_) sizes.push_back(listed.bytes);
  std::sort(sizes.begin(), sizes.end());
  std::int64_t limit = -1;
  std::int64_t total = 0;
  // Patches of one size are held all or none: the query selects by size.
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    total += sizes[i];
    if (total > bound) break;
    if (i + 1 == sizes.size() || sizes[i + 1] != sizes[i]) limit = sizes[i];
  }
  return limit;
}

const HeldPatch* PatchIndex::Held(const PatchBase& base) const {
  const auto found = std::find_if(held_.begin(), held_.end(),
                                  [&](const HeldPatch& held) { return held.base == base; });
  return found == held_.end() ? nullptr : &*found;
}

PatchIndex ReadPatchIndex(db::Connection& connection) {
  std::vector<PatchIndex::Listed> listed;
  try {
    auto rows = connection.OpenDataset("SELECT vcode, basesize, basecrc, " +
                                       connection.BlobLengthSql("patch") +
                                       " AS patchbytes FROM UpdatesDelta");
    for (rows->First(); !rows->Eof(); rows->Next())
      listed.push_back({BaseOf(*rows), rows->AsInt64("patchbytes")});
  } catch (const std::exception&) {
    // No table, no right to read it, or a row that does not read: full rows serve every file.
    return PatchIndex();
  }
  return PatchIndex(std::move(listed));
}

void HoldSmallPatches(PatchIndex& index, db::Connection& connection, std::int64_t bound) {
  index.held_read_ = true;
  const std::int64_t limit = index.HeldSizeLimit(bound);
  if (limit < 0) return;
  std::vector<HeldPatch> held;
  std::int64_t total = 0;
  try {
    auto rows = connection.OpenDatasetWithBlobs(
        std::string(kPatchColumns) + " FROM UpdatesDelta WHERE " +
        connection.BlobLengthSql("patch") + " <= " + std::to_string(limit));
    for (rows->First(); !rows->Eof(); rows->Next()) {
      HeldPatch patch{BaseOf(*rows),
                      rows->AsInt64("fullsize"),
                      ValueText(rows->Field("rowsha256")).value_or(""),
                      {}};
      rows->ReadBlob("patch", [&](const std::uint8_t* data, std::size_t size) {
        patch.bytes.append(reinterpret_cast<const char*>(data), size);
      });
      total += static_cast<std::int64_t>(patch.bytes.size());
      // Patches published since the list was read stay on the server beyond the bound.
      if (total > bound) break;
      held.push_back(std::move(patch));
    }
  } catch (const std::exception&) {
    // Every patch is then read on its own, as a patch too large to hold is.
    return;
  }
  index.held_ = std::move(held);
}

std::string PatchQuery(const PatchBase& base) {
  return std::string(kPatchColumns) +
         " FROM UpdatesDelta WHERE vcode = " + std::to_string(base.vcode) +
         " AND basesize = " + std::to_string(base.size) +
         " AND basecrc = " + std::to_string(base.crc);
}

}  // namespace nurv
