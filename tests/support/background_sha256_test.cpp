#include "support/background_sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/sha256.h"

namespace nurv {
namespace {

// Whatever the sizes of the pieces it is handed, around the block size included, the digest is
// that of all the bytes in order.
TEST(BackgroundSha256, DigestOfThePiecesIsTheDigestOfTheWhole) {
  constexpr std::size_t kMiB = 1 << 20;
  for (const std::size_t total : {std::size_t{0}, std::size_t{1}, kMiB - 1, kMiB, 5 * kMiB + 3}) {
    std::vector<std::uint8_t> bytes(total);
    for (std::size_t i = 0; i < total; ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 >> 3);
    platform::Sha256 whole;
    whole.Update(bytes.data(), bytes.size());
    const Sha256Digest expected = whole.Finish();
    for (const std::size_t piece : {std::size_t{1} << 12, kMiB + 7, 3 * kMiB}) {
      SCOPED_TRACE(std::to_string(total) + " bytes in pieces of " + std::to_string(piece));
      BackgroundSha256 streamed;
      for (std::size_t at = 0; at < total; at += piece)
        streamed.Update(bytes.data() + at, std::min(piece, total - at));
      EXPECT_EQ(streamed.Finish(), expected);
    }
  }
}

}  // namespace
}  // namespace nurv
