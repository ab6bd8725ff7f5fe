#include "support/file_crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace nurv {
namespace {

using testing::TempDir;
using testing::WriteFile;

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

std::uint32_t ZlibCrc(const std::uint8_t* data, std::size_t size) {
  return static_cast<std::uint32_t>(::crc32(0L, data, static_cast<uInt>(size)));
}

std::string AsString(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

class FileCrc32Test : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(FileCrc32Test, EmptyFileGivesZero) {
  WriteFile(dir.Sub("empty"), "");
  const FileChecksum checksum = FileCrc32(dir.Sub("empty"));
  EXPECT_EQ(checksum.crc, 0u);
  EXPECT_EQ(checksum.error, "");
}

TEST_F(FileCrc32Test, BlockBoundariesGiveTheStandardCrc) {
  constexpr std::size_t kRead = kFileCrc32ReadSize;
  for (std::size_t size :
       {std::size_t{32767}, std::size_t{32768}, std::size_t{32769}, 3 * std::size_t{32768} + 5,
        kRead - 1, kRead, kRead + 1, 2 * kRead + 5}) {
    const auto bytes = RandomBytes(size, static_cast<unsigned>(size));
    const std::string path = dir.Sub("f" + std::to_string(size));
    WriteFile(path, AsString(bytes));
    const FileChecksum checksum = FileCrc32(path);
    EXPECT_EQ(checksum.crc, ZlibCrc(bytes.data(), bytes.size())) << size;
    EXPECT_EQ(checksum.error, "") << size;
  }
}

TEST_F(FileCrc32Test, MissingFileGivesZeroAndThePlatformsText) {
  const FileChecksum checksum = FileCrc32(dir.Sub("нет-файла.exe"));
  EXPECT_EQ(checksum.crc, 0u);
  EXPECT_EQ(checksum.error, "No such file or directory");
}

TEST_F(FileCrc32Test, UnreadableFolderIsAFailure) {
  const FileChecksum checksum = FileCrc32(dir.path());
  EXPECT_EQ(checksum.crc, 0u);
  EXPECT_NE(checksum.error, "");
}

TEST_F(FileCrc32Test, FileHeldOpenForWritingIsChecksummed) {
  const auto bytes = RandomBytes(5000, 9);
  const std::string path = dir.Sub("busy");
  WriteFile(path, AsString(bytes));
  std::FILE* writer = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(writer, nullptr);
  const FileChecksum checksum = FileCrc32(path);
  std::fclose(writer);
  EXPECT_EQ(checksum.crc, ZlibCrc(bytes.data(), bytes.size()));
  EXPECT_EQ(checksum.error, "");
}

}  // namespace
}  // namespace nurv
