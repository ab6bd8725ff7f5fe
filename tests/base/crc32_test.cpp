#include "base/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace nurv {
namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

std::uint32_t ZlibCrc(const std::uint8_t* data, std::size_t size) {
  return static_cast<std::uint32_t>(::crc32(0L, data, static_cast<uInt>(size)));
}

TEST(Crc32Update, StandardTableEntries) {
  // One byte into a zero register reads the table entry straight out.
  for (auto [index, expected] : {std::pair<std::uint8_t, std::uint32_t>{1, 0x77073096u},
                                 {128, 0xEDB88320u},
                                 {255, 0x2D02EF8Du}}) {
    EXPECT_EQ(Crc32Update(0, &index, 1), expected) << int(index);
  }
  const std::string check = "123456789";
  EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(check.data()), 9),
            0xCBF43926u);
}

TEST(Crc32Update, EqualsZlibForEveryLengthAndAlignment) {
  const auto data = RandomBytes(70000, 1);
  // Lengths cross every tail of the 16-, 64- and 256-byte loops and the thresholds of the wider
  // ones; offsets shift alignment.
  for (std::size_t offset = 0; offset < 16; ++offset) {
    for (std::size_t length = 1; length <= 1400; ++length) {
      ASSERT_EQ(~Crc32UpdateBlock(0xFFFFFFFFu, data.data() + offset, length),
                ZlibCrc(data.data() + offset, length))
          << "offset " << offset << " length " << length;
    }
  }
  for (std::size_t length : {4095u, 4096u, 4097u, 32768u, 65535u, 69983u}) {
    EXPECT_EQ(~Crc32UpdateBlock(0xFFFFFFFFu, data.data() + 3, length),
              ZlibCrc(data.data() + 3, length));
  }
}

TEST(Crc32Update, ChainedCallsEqualOneCall) {
  const auto data = RandomBytes(200000, 2);
  std::uint32_t crc = 0xFFFFFFFFu;
  std::size_t done = 0;
  std::mt19937 random(3);
  while (done < data.size()) {
    const std::size_t step = std::min<std::size_t>(1 + random() % 65535, data.size() - done);
    crc = Crc32Update(crc, data.data() + done, static_cast<std::uint16_t>(step));
    done += step;
  }
  EXPECT_EQ(~crc, ZlibCrc(data.data(), data.size()));
}

}  // namespace
}  // namespace nurv
