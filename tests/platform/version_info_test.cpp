#include "platform/version_info.h"

#include <gtest/gtest.h>

#include "common/pe_builder.h"
#include "common/temp_dir.h"

namespace nurv::platform {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(QueryFileProductVersion, PeFilesOnDisk) {
  TempDir dir;
  WriteFile(dir.Sub("a.exe"), testing::BuildPeFile({6, 2, 0, 15}, {1, 0, 0, 0}));
  WriteFile(dir.Sub("b.exe"), testing::BuildPeFile({1, 2, 3, 4}, {5, 6, 7, 8}, true));
  FourPartVersion version;
  ASSERT_TRUE(QueryFileProductVersion(dir.Sub("a.exe"), version));
  EXPECT_EQ(version, (FourPartVersion{6, 2, 0, 15}));
  ASSERT_TRUE(QueryFileProductVersion(dir.Sub("b.exe"), version));
  EXPECT_EQ(version, (FourPartVersion{1, 2, 3, 4}));
}

TEST(QueryFileProductVersion, FilesWithoutVersionLeaveItUntouched) {
  TempDir dir;
  std::string truncated = testing::BuildPeFile({6, 2, 0, 15}, {1, 0, 0, 0});
  truncated.resize(0x240);
  WriteFile(dir.Sub("cut.exe"), truncated);
  WriteFile(dir.Sub("text.txt"), "plain text\n");
  const FourPartVersion sentinel{1, 1, 1, 1};
  for (const char* name : {"cut.exe", "text.txt", "missing.exe"}) {
    FourPartVersion version = sentinel;
    EXPECT_FALSE(QueryFileProductVersion(dir.Sub(name), version)) << name;
    EXPECT_EQ(version, sentinel);
  }
}

TEST(QueryOwnProductVersion, CompiledInVersion) {
  FourPartVersion version;
  ASSERT_TRUE(QueryOwnProductVersion(version));
  EXPECT_EQ(version, (FourPartVersion{6, 3, 0, 0}));
}

}  // namespace
}  // namespace nurv::platform
