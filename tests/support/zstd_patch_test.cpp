// Patches made and applied by libzstd, fed in pieces of every size the database layer may hand
// over.
#include "support/zstd_patch.h"

#include <gtest/gtest.h>

#include "common/update_db.h"

namespace nurv {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A target of whole decoder blocks, so the last output exactly fills the decoder's buffer.
TEST(ZstdPatch, PatchAppliesInAnyPiecesAndRefusesATruncatedOrTrailedOne) {
  const std::vector<std::uint8_t> base = Bytes(testing::IncompressibleBytes(1 << 20, 1));
  std::vector<std::uint8_t> target = base;
  for (std::size_t at = 1000; at < target.size(); at += 200000) target[at] ^= 0xFF;
  const std::vector<std::uint8_t> patch = MakePatch(base, target);
  ASSERT_LT(patch.size(), 10000u);
  const auto apply = [&](const std::vector<std::uint8_t>& bytes, std::size_t piece) {
    std::vector<std::uint8_t> out;
    PatchDecoder decoder(base, [&](const std::uint8_t* data, std::size_t size) {
      out.insert(out.end(), data, data + size);
    });
    for (std::size_t at = 0; at < bytes.size(); at += piece)
      decoder.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
    decoder.Finish();
    return out;
  };
  for (const std::size_t piece : {patch.size(), std::size_t{4096}, std::size_t{1}})
    EXPECT_EQ(apply(patch, piece), target) << piece;
  EXPECT_THROW(apply({patch.begin(), patch.end() - 1}, 4096), PatchError);
  std::vector<std::uint8_t> trailed = patch;
  trailed.push_back(0);
  EXPECT_THROW(apply(trailed, 4096), PatchError);
}

}  // namespace
}  // namespace nurv
