#include "support/file_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/temp_dir.h"
#include "platform/files.h"
#include "support/theme_manifest.h"

namespace nurv {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(ForceDeleteFile, DeletesReadOnlyHiddenFile) {
  TempDir dir;
  const std::string path = dir.Sub(".hidden-read-only");
  WriteFile(path, "x");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(*platform::ReadAttributes(path) & (platform::kAttrReadOnly | platform::kAttrHidden),
            platform::kAttrReadOnly | platform::kAttrHidden);
  // A plain delete is refused, as on Windows; the forced one clears the attribute first.
  EXPECT_FALSE(platform::RemoveFile(path));
  EXPECT_TRUE(ForceDeleteFile(path));
  EXPECT_FALSE(platform::FileExists(path));
}

TEST(ForceDeleteFile, MissingFileGivesFalse) {
  TempDir dir;
  EXPECT_FALSE(ForceDeleteFile(dir.Sub("missing")));
}

#ifndef _WIN32
// The POSIX stand-in: read-only is the absence of write bits; the other bits stay as they were.
TEST(MakeFileWritable, ClearsReadOnlyAndKeepsTheRest) {
  TempDir dir;
  const std::string path = dir.Sub("file");
  WriteFile(path, "x");
  ASSERT_EQ(::chmod(path.c_str(), 0550), 0);
  MakeFileWritable(path);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);
  EXPECT_EQ(*platform::ReadAttributes(path), platform::kAttrArchive);
  MakeFileWritable(dir.Sub("missing"));  // nothing to do, nothing created
  EXPECT_FALSE(platform::FileExists(dir.Sub("missing")));
}
#endif

constexpr char kManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
    "  <assemblyIdentity\r\n"
    "  \ttype=\"win32\"\r\n"
    "    name=\"ZelmarApplication\"\r\n"
    "    version=\"1.0.0.0\"\r\n"
    "  \tprocessorArchitecture=\"*\"/>\r\n"
    "  <dependency>\r\n"
    "    <dependentAssembly>\r\n"
    "      <assemblyIdentity\r\n"
    "        type=\"win32\"\r\n"
    "        name=\"Microsoft.Windows.Common-Controls\"\r\n"
    "        version=\"6.0.0.0\"\r\n"
    "        publicKeyToken=\"6595b64144ccf1df\"\r\n"
    "        language=\"*\"\r\n"
    "        processorArchitecture=\"*\"/>\r\n"
    "    </dependentAssembly>\r\n"
    "  </dependency>\r\n"
    "</assembly>\r\n";

TEST(ThemeManifest, WrittenExactlyAndDeleted) {
  TempDir dir;
  const std::string exe = dir.Sub("NurvLoader.exe");
  EXPECT_TRUE(DeleteThemeManifest(exe));  // absent: nothing to do
  EXPECT_TRUE(WriteThemeManifest(exe));
  EXPECT_EQ(ReadFile(exe + ".manifest"), kManifest);
  EXPECT_TRUE(DeleteThemeManifest(exe));
  EXPECT_FALSE(platform::FileExists(exe + ".manifest"));
}

TEST(ThemeManifest, ExistingManifestIsLeftAsItIs) {
  TempDir dir;
  const std::string exe = dir.Sub("NurvLoader.exe");
  WriteFile(exe + ".manifest", "mine");
  EXPECT_TRUE(WriteThemeManifest(exe));
  EXPECT_EQ(ReadFile(exe + ".manifest"), "mine");
}

TEST(ThemeManifest, FailuresGiveFalse) {
  TempDir dir;
  EXPECT_FALSE(WriteThemeManifest(dir.Sub("no-such-folder/NurvLoader.exe")));
  const std::string exe = dir.Sub("NurvLoader.exe");
  WriteFile(exe + ".manifest", "x");
  ASSERT_EQ(::chmod((exe + ".manifest").c_str(), 0444), 0);
  EXPECT_FALSE(DeleteThemeManifest(exe));  // read-only, as Windows refuses it
}

}  // namespace
}  // namespace nurv
