#pragma once
// The side table UpdatesDelta: for a row of UpdatesBLOB (by vcode), patches that each turn one
// known installed file (its size and CRC-32) into the row's landed file. Older loaders never read
// it; the full row stays in UpdatesBLOB for every workstation a patch does not fit.
#include <cstdint>
#include <string>
#include <vector>

#include "db/database.h"

namespace nurv {

// The installed file a patch of the row `vcode` starts from.
struct PatchBase {
  std::int64_t vcode = 0;
  std::int64_t size = 0;
  std::uint32_t crc = 0;
  bool operator==(const PatchBase&) const = default;
};

// The patches the table lists, without their bytes.
class PatchIndex {
 public:
  PatchIndex() = default;
  explicit PatchIndex(std::vector<PatchBase> bases) : bases_(std::move(bases)) {}

  // True when some patch of `vcode` starts from a file of `size` bytes.
  bool HasSize(std::int64_t vcode, std::int64_t size) const;
  bool Has(const PatchBase& base) const;

 private:
  std::vector<PatchBase> bases_;
};

// One query: every patch listed. Empty when the table is not there or this login may not read it:
// the loader then reads full rows only, as before the table existed.
PatchIndex ReadPatchIndex(db::Connection& connection);

// The query of the one patch from `base`: vcode, fullsize (the size of the row's fblob), rowsha256
// (the SHA-256 of the row's fblob as stored, in hex) and the patch itself as the BLOB `patch`.
std::string PatchQuery(const PatchBase& base);

}  // namespace nurv
