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

// How many bytes of patches a run holds in memory, fetched together in one statement: the
// patches of a release of a few hundred files fit many times over, and a workstation pays for
// them less than for the 7-Zip buffers of one archive. A larger patch is read on its own.
inline constexpr std::int64_t kHeldPatchBytes = 16 << 20;

// A patch fetched with the others, and what its result is checked against.
struct HeldPatch {
  PatchBase base;
  std::int64_t full_size = 0;  // the size of the row's fblob
  std::string row_sha256;      // the SHA-256 of the row's fblob as stored, in hex
  std::string bytes;
};

// The patches the table lists, with their sizes, and the bytes of those held.
class PatchIndex {
 public:
  struct Listed {
    PatchBase base;
    std::int64_t bytes = 0;
  };

  PatchIndex() = default;
  explicit PatchIndex(std::vector<Listed> listed) : listed_(std::move(listed)) {}

  // True when some patch of `vcode` starts from a file of `size` bytes.
  bool HasSize(std::int64_t vcode, std::int64_t size) const;
  bool Has(const PatchBase& base) const;

  // The size up to which patches, the smallest first, stay within `bound` bytes all together;
  // -1 when not even the smallest does.
  std::int64_t HeldSizeLimit(std::int64_t bound) const;

  // Whether HoldSmallPatches has run on this index, whatever it found.
  bool held_read() const { return held_read_; }
  // The patch from `base` when its bytes are held.
  const HeldPatch* Held(const PatchBase& base) const;

 private:
  friend void HoldSmallPatches(PatchIndex& index, db::Connection& connection, std::int64_t bound);

  std::vector<Listed> listed_;
  bool held_read_ = false;
  std::vector<HeldPatch> held_;
};

// One query: every patch listed, with its size. Empty when the table is not there or this login
// may not read it: the loader then reads full rows only, as before the table existed.
PatchIndex ReadPatchIndex(db::Connection& connection);

// One query: the bytes of the smallest patches `index` lists, as many as stay within `bound` bytes
// together, held in `index`. A patch that is not held (too large, changed since the list, a
// failed query) is read on its own with PatchQuery.
void HoldSmallPatches(PatchIndex& index, db::Connection& connection, std::int64_t bound);

// The query of the one patch from `base`: vcode, fullsize (the size of the row's fblob), rowsha256
// (the SHA-256 of the row's fblob as stored, in hex) and the patch itself as the BLOB `patch`.
std::string PatchQuery(const PatchBase& base);

}  // namespace nurv
