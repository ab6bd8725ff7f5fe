#include "support/file_crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/recording_services.h"
#include "common/temp_dir.h"

namespace nurv {
namespace {

using testing::RecordingServices;
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
  RecordingServices ui;
};

TEST_F(FileCrc32Test, EmptyFileGivesZero) {
  WriteFile(dir.Sub("empty"), "");
  EXPECT_EQ(FileCrc32(dir.Sub("empty"), ui), 0u);
  EXPECT_TRUE(ui.message_boxes.empty());
}

TEST_F(FileCrc32Test, BlockBoundariesGiveTheStandardCrc) {
  for (std::size_t size : {32767u, 32768u, 32769u, 3u * 32768u + 5u}) {
    const auto bytes = RandomBytes(size, static_cast<unsigned>(size));
    const std::string path = dir.Sub("f" + std::to_string(size));
    WriteFile(path, AsString(bytes));
    EXPECT_EQ(FileCrc32(path, ui), ZlibCrc(bytes.data(), bytes.size())) << size;
  }
  EXPECT_TRUE(ui.message_boxes.empty());
}

TEST_F(FileCrc32Test, MissingFileShowsTheMessageAndGivesZero) {
  const std::string path = dir.Sub("нет-файла.exe");
  EXPECT_EQ(FileCrc32(path, ui), 0u);
  ASSERT_EQ(ui.message_boxes.size(), 1u);
  EXPECT_EQ(ui.message_boxes[0], "При вычислении контрольной суммы файла [" + path +
                                     "] возникла oшибка [No such file or directory]");
}

TEST_F(FileCrc32Test, UnreadableFolderShowsTheMessage) {
  EXPECT_EQ(FileCrc32(dir.path(), ui), 0u);
  ASSERT_EQ(ui.message_boxes.size(), 1u);
  EXPECT_NE(ui.message_boxes[0].find("[" + dir.path() + "]"), std::string::npos);
}

TEST_F(FileCrc32Test, FileHeldOpenForWritingIsChecksummed) {
  const auto bytes = RandomBytes(5000, 9);
  const std::string path = dir.Sub("busy");
  WriteFile(path, AsString(bytes));
  std::FILE* writer = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(FileCrc32(path, ui), ZlibCrc(bytes.data(), bytes.size()));
  std::fclose(writer);
  EXPECT_TRUE(ui.message_boxes.empty());
}

}  // namespace
}  // namespace nurv
