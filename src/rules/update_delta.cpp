#include "rules/update_delta.h"

#include <algorithm>
#include <exception>

namespace nurv {

bool PatchIndex::HasSize(std::int64_t vcode, std::int64_t size) const {
  return std::any_of(bases_.begin(), bases_.end(), [&](const PatchBase& base) {
    return base.vcode == vcode && base.size == size;
  });
}

bool PatchIndex::Has(const PatchBase& base) const {
  return std::find(bases_.begin(), bases_.end(), base) != bases_.end();
}

PatchIndex ReadPatchIndex(db::Connection& connection) {
  std::vector<PatchBase> bases;
  try {
    auto rows = connection.OpenDataset("SELECT vcode, basesize, basecrc FROM UpdatesDelta");
    for (rows->First(); !rows->Eof(); rows->Next()) {
      bases.push_back({rows->AsInt64("vcode"), rows->AsInt64("basesize"),
                       static_cast<std::uint32_t>(rows->AsInt64("basecrc"))});
    }
  } catch (const std::exception&) {
    // No table, no right to read it, or a row that does not read: full rows serve every file.
    return PatchIndex();
  }
  return PatchIndex(std::move(bases));
}

std::string PatchQuery(const PatchBase& base) {
  return "SELECT vcode, fullsize, rowsha256, patch FROM UpdatesDelta WHERE vcode = " +
         std::to_string(base.vcode) + " AND basesize = " + std::to_string(base.size) +
         " AND basecrc = " + std::to_string(base.crc);
}

}  // namespace nurv
