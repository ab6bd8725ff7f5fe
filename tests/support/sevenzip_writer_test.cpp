// Archives made through the library's archive-creation interface, read back by the same library.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/temp_dir.h"
#include "platform/files.h"
#include "support/sevenzip_fixture.h"
#include "support/sevenzip_writer.h"

namespace nurv {
namespace {

using testing::kSystemSevenZip;
using testing::ReadFile;
using testing::TempDir;
using testing::Utf8Path;
using testing::WriteFile;

TEST(SevenZipWriter, OnlyItemCarriesTheGivenNameBytesTimeAndMode) {
  NURV_REQUIRE_SEVENZIP();
  TempDir dir;
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(i * 7 % 251);
  const std::string source = dir.Sub("build-output.bin");
  WriteFile(source, bytes);
  const DateTime stamp = std::chrono::local_days(std::chrono::year(2025) / 3 / 14) +
                         std::chrono::hours(9) + std::chrono::minutes(26) +
                         std::chrono::seconds(52);
  ASSERT_TRUE(platform::WriteModifiedTime(source, stamp));
#ifndef _WIN32
  std::filesystem::permissions(Utf8Path(source), std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
#endif
  const std::string archive = dir.Sub("nurv.7z");
  CreateSingleItemArchive(archive, source, "nurv.exe", {kSystemSevenZip});

  SevenZipArchive zip({kSystemSevenZip});
  zip.ArchivePath = archive;
  zip.ExtractFolder = dir.Sub("out");
  ASSERT_EQ(zip.Extract(), 0);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Utf8Path(dir.Sub("out"))))
    names.push_back(testing::Utf8Text(entry.path().filename()));
  EXPECT_EQ(names, std::vector<std::string>{"nurv.exe"});
  const std::string unpacked = dir.Sub("out/nurv.exe");
  EXPECT_EQ(ReadFile(unpacked), bytes);
  EXPECT_EQ(platform::ReadModifiedTime(unpacked), stamp);
#ifndef _WIN32
  EXPECT_NE(std::filesystem::status(Utf8Path(unpacked)).permissions() &
                std::filesystem::perms::owner_exec,
            std::filesystem::perms::none);
#endif
}

TEST(SevenZipWriter, MissingSourceOrLibraryLeavesNoArchive) {
  NURV_REQUIRE_SEVENZIP();
  TempDir dir;
  const std::string archive = dir.Sub("a.7z");
  EXPECT_THROW(CreateSingleItemArchive(archive, dir.Sub("missing"), "x", {kSystemSevenZip}),
               std::runtime_error);
  WriteFile(dir.Sub("src"), "x");
  EXPECT_THROW(CreateSingleItemArchive(archive, dir.Sub("src"), "x", {dir.Sub("no-library.so")}),
               SevenZipLoadError);
  EXPECT_FALSE(std::filesystem::exists(Utf8Path(archive)));
}

}  // namespace
}  // namespace nurv
