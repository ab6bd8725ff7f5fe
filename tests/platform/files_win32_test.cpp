// File, system and version services against the real Windows API (under Wine in CI).
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "common/pe_builder.h"
#include "common/temp_dir.h"
#include "nurv_version.h"
#include "platform/files.h"
#include "platform/recycle_bin.h"
#include "platform/system_info.h"
#include "platform/version_info.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(WinFiles, AttributesAreTheFileSystemsOwn) {
  TempDir dir;
  const std::string file = dir.Sub("Справка.chm");
  WriteFile(file, "x");
  ASSERT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  ASSERT_TRUE(WriteAttributes(file, kAttrReadOnly | kAttrHidden | kAttrSystem));
  EXPECT_EQ(*ReadAttributes(file) & (kAttrReadOnly | kAttrHidden | kAttrSystem),
            kAttrReadOnly | kAttrHidden | kAttrSystem);
  EXPECT_FALSE(RemoveFile(file));  // read-only refuses deletion
  ASSERT_TRUE(WriteAttributes(file, kAttrArchive));
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_FALSE(ReadAttributes(file).has_value());
  EXPECT_FALSE(RemoveFile(file));
  EXPECT_FALSE(LastErrorText().empty());

  EXPECT_TRUE(DirectoryExists(dir.path()));
  EXPECT_NE(*ReadAttributes(dir.path()) & kAttrDirectory, 0u);
  EXPECT_TRUE(CreateFolder(dir.Sub("locales")));
  EXPECT_FALSE(CreateFolder(dir.Sub("locales")));  // exists already
  EXPECT_FALSE(CreateFolder(dir.Sub("a\\b")));     // one level only
}

TEST(WinFiles, CopyAndRenameReplaceTheTarget) {
  TempDir dir;
  WriteFile(dir.Sub("new.tmp"), "new");
  WriteFile(dir.Sub("nurv.exe"), "old");
  ASSERT_TRUE(CopyFileReplacing(dir.Sub("new.tmp"), dir.Sub("copy.exe")));
  EXPECT_EQ(ReadFile(dir.Sub("copy.exe")), "new");
  ASSERT_TRUE(RenameReplacing(dir.Sub("new.tmp"), dir.Sub("nurv.exe")));
  EXPECT_EQ(ReadFile(dir.Sub("nurv.exe")), "new");
  EXPECT_FALSE(FileExists(dir.Sub("new.tmp")));
  EXPECT_FALSE(RenameReplacing(dir.Sub("new.tmp"), dir.Sub("nurv.exe")));
  EXPECT_FALSE(CopyFileReplacing(dir.Sub("absent"), dir.Sub("nurv.exe")));
  EXPECT_EQ(ReadFile(dir.Sub("nurv.exe")), "new");
}

TEST(WinFiles, FileIdFollowsTheFileNotItsName) {
  TempDir dir;
  WriteFile(dir.Sub("NurvLoader.exe"), "same");
  WriteFile(dir.Sub("other.exe"), "same");
  ASSERT_TRUE(CreateHardLinkW(win32::Widen(dir.Sub("hard.exe")).c_str(),
                              win32::Widen(dir.Sub("NurvLoader.exe")).c_str(), nullptr));
  const auto loader = ReadFileId(dir.Sub("NurvLoader.exe"));
  ASSERT_TRUE(loader.has_value());
  EXPECT_EQ(ReadFileId(dir.Sub("hard.exe")), loader);
  EXPECT_EQ(ReadFileId(dir.Sub("NURVLOADER.EXE")), loader);
  EXPECT_NE(ReadFileId(dir.Sub("other.exe")), loader);
  EXPECT_EQ(ReadFileId(dir.Sub("missing.exe")), std::nullopt);
}

TEST(WinFiles, ModifiedTimeIsLocalAndRoundTrips) {
  using namespace std::chrono;
  TempDir dir;
  const std::string file = dir.Sub("nurv.exe");
  WriteFile(file, "x");
  const DateTime stamp = local_days{2024y / March / 31} + 2h + 30min + 15s + 120ms;
  ASSERT_TRUE(WriteModifiedTime(file, stamp));
  EXPECT_EQ(ReadModifiedTime(file), stamp);

  // The same instant as the API reports it in local time.
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(win32::Widen(file).c_str(), GetFileExInfoStandard, &data));
  FILETIME local;
  SYSTEMTIME st;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &st);
  EXPECT_EQ(st.wYear, 2024);
  EXPECT_EQ(st.wHour, 2);
  EXPECT_EQ(st.wMilliseconds, 120);

  // A read-only file can still be stamped.
  ASSERT_TRUE(WriteAttributes(file, kAttrReadOnly));
  EXPECT_TRUE(WriteModifiedTime(file, stamp + 1min));
  EXPECT_EQ(ReadModifiedTime(file), stamp + 1min);
  WriteAttributes(file, kAttrNormal);

  EXPECT_FALSE(ReadModifiedTime(dir.Sub("absent")).has_value());
  EXPECT_FALSE(WriteModifiedTime(dir.Sub("absent"), stamp));
  EXPECT_FALSE(WriteModifiedTime(file, local_days{1500y / 1 / 1}));  // before the file-time epoch
}

TEST(WinRecycleBin, FolderWithContentsLeaves) {
  TempDir dir;
  const std::string cef = dir.Sub("Папка CEF");
  fs::create_directories(fs::path(win32::Widen(cef + "\\sub")));
  WriteFile(cef + "\\a.pak", "a");
  WriteFile(cef + "\\sub\\b.dll", "b");
  ASSERT_TRUE(WriteAttributes(cef + "\\a.pak", kAttrReadOnly));
  EXPECT_TRUE(MoveToRecycleBin(cef));
  EXPECT_FALSE(ReadAttributes(cef).has_value());
  EXPECT_FALSE(MoveToRecycleBin(cef));
  EXPECT_FALSE(MoveToRecycleBin(""));
}

TEST(WinSystemInfo, FoldersAndNames) {
  const std::string system = SystemFolder();
  EXPECT_TRUE(DirectoryExists(system)) << system;
  EXPECT_NE(system.back(), '\\');
  const std::string temp = UserTempFolder();
  EXPECT_TRUE(DirectoryExists(temp)) << temp;
  EXPECT_NE(temp.back(), '\\');
  EXPECT_NE(OsProductName().find("Windows"), std::string::npos) << OsProductName();
  const std::string own = OwnExecutablePath();
  EXPECT_TRUE(FileExists(own)) << own;
  EXPECT_EQ(own.find('/'), std::string::npos);
}

// The executables of the Windows build carry the project version as their resource "#1".
TEST(WinVersionInfo, OwnResourceHoldsTheProjectVersion) {
  const std::vector<std::uint8_t> block = ReadOwnVersionResource();
  ASSERT_GE(block.size(), 56u);
  auto word = [&](std::size_t at) { return static_cast<int>(block[at] | block[at + 1] << 8); };
  EXPECT_EQ(word(40 + 0), 0x04BD);  // the fixed file information's signature 0xFEEF04BD
  EXPECT_EQ(word(40 + 2), 0xFEEF);
  EXPECT_EQ(word(50), NURV_VERSION_MAJOR);  // file version as the loader reads it
  EXPECT_EQ(word(48), NURV_VERSION_MINOR);
  EXPECT_EQ(word(54), NURV_VERSION_PATCH);
  EXPECT_EQ(word(52), NURV_VERSION_TWEAK);
  FourPartVersion own;
  ASSERT_TRUE(QueryOwnProductVersion(own));
  EXPECT_EQ(own, (FourPartVersion{NURV_VERSION_MAJOR, NURV_VERSION_MINOR, NURV_VERSION_PATCH,
                                  NURV_VERSION_TWEAK}));
}

TEST(WinVersionInfo, ProductVersionNotFileVersionOfGeneratedImages) {
  TempDir dir;
  WriteFile(dir.Sub("Загрузчик.exe"), testing::BuildPeFile({6, 2, 0, 15}, {1, 0, 0, 0}));
  WriteFile(dir.Sub("big.exe"), testing::BuildPeFile({65535, 10, 0, 9}, {5, 6, 7, 8}, true));
  FourPartVersion version;
  ASSERT_TRUE(QueryFileProductVersion(dir.Sub("Загрузчик.exe"), version));
  EXPECT_EQ(version, (FourPartVersion{6, 2, 0, 15}));
  ASSERT_TRUE(QueryFileProductVersion(dir.Sub("big.exe"), version));
  EXPECT_EQ(version, (FourPartVersion{65535, 10, 0, 9}));
}

}  // namespace
}  // namespace nurv::platform
#endif  // _WIN32
