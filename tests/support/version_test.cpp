#include "support/product_version.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/pe_builder.h"
#include "common/temp_dir.h"
#include "platform/system_info.h"

namespace nurv {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(ReadFileProductVersion, ReportsTheProductVersionOfAPeFile) {
  TempDir dir;
  const std::string path = dir.Sub("nurv.exe");
  WriteFile(path, testing::BuildPeFile({6, 2, 0, 15}, {1, 0, 0, 0}, true));
  FourPartVersion version;
  ASSERT_TRUE(ReadFileProductVersion(path, version));
  EXPECT_EQ(version, (FourPartVersion{6, 2, 0, 15}));
  EXPECT_EQ(VersionText(version), "6.2.0.15");
}

TEST(ReadFileProductVersion, TextMissingAndEmptyFilesLeaveTheVersionUntouched) {
  TempDir dir;
  WriteFile(dir.Sub("readme.txt"), "MZ is how it starts, but this is text.\n");
  WriteFile(dir.Sub("empty.exe"), "");
  const FourPartVersion sentinel{9, 8, 7, 6};
  for (const std::string& path :
       {dir.Sub("readme.txt"), dir.Sub("empty.exe"), dir.Sub("missing.exe"), dir.path()}) {
    FourPartVersion version = sentinel;
    EXPECT_FALSE(ReadFileProductVersion(path, version)) << path;
    EXPECT_EQ(version, sentinel);
  }
}

#ifndef _WIN32
TEST(ReadFileProductVersion, RunnableElfCarriesItsVersionInASection) {
  TempDir dir;
  const std::string path = dir.Sub("nurv.exe");
  WriteFile(path, testing::ReadFile("/bin/true"));
  ASSERT_EQ(std::system(("chmod 755 '" + path + "'").c_str()), 0);
  testing::AttachVersionSection(path, {6, 3, 1, 65535}, {1, 2, 3, 4});
  FourPartVersion version;
  ASSERT_TRUE(ReadFileProductVersion(path, version));
  EXPECT_EQ(version, (FourPartVersion{6, 3, 1, 65535}));
  EXPECT_EQ(std::system(("'" + path + "'").c_str()), 0);  // still starts
}
#endif

TEST(OwnVersion, CompiledInProductAndFileVersion) {
  FourPartVersion product;
  ASSERT_TRUE(ReadOwnProductVersion(product));
  EXPECT_EQ(VersionText(product), "6.3.0.0");
  FourPartVersion file{1, 1, 1, 1};
  ReadOwnFileVersion(file);
  EXPECT_EQ(file, (FourPartVersion{6, 3, 0, 0}));
}

TEST(OwnVersion, ResourceHasTheWindowsHeader) {
  const auto resource = platform::ReadOwnVersionResource();
  ASSERT_GE(resource.size(), 92u);
  EXPECT_EQ(resource[0] | resource[1] << 8, static_cast<int>(resource.size()));
  EXPECT_EQ(resource[2] | resource[3] << 8, 52);
  EXPECT_EQ(resource[6], 'V');
  EXPECT_EQ(resource[40] | resource[41] << 8 | resource[42] << 16 | resource[43] << 24,
            static_cast<int>(0xFEEF04BD));
}

TEST(VersionText, DecimalWithoutLeadingZeros) {
  EXPECT_EQ(VersionText({}), "0.0.0.0");
  EXPECT_EQ(VersionText({65535, 10, 0, 7}), "65535.10.0.7");
}

}  // namespace
}  // namespace nurv
