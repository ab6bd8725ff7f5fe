// The POSIX stand-ins; Windows has its own tests (*_win32_test.cpp).
#ifndef _WIN32
#include "platform/system_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "common/temp_dir.h"

namespace nurv::platform {
namespace {

using testing::TempDir;

// Points $TMPDIR at a test folder for the scope.
class TmpDirVariable {
 public:
  explicit TmpDirVariable(const std::string& value) {
    if (const char* old = std::getenv("TMPDIR")) saved_ = old, had_ = true;
    ::setenv("TMPDIR", value.c_str(), 1);
  }
  ~TmpDirVariable() { had_ ? ::setenv("TMPDIR", saved_.c_str(), 1) : ::unsetenv("TMPDIR"); }

 private:
  std::string saved_;
  bool had_ = false;
};

std::string Expected(const TempDir& dir) {
  return dir.path() + "/nurv-" + std::to_string(::getuid());
}

TEST(UserTempFolder, CreatedPrivateAndReused) {
  TempDir dir;
  TmpDirVariable tmpdir(dir.path() + "/");
  const std::string folder = UserTempFolder();
  EXPECT_EQ(folder, Expected(dir));
  struct stat info {};
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  EXPECT_EQ(UserTempFolder(), folder);  // own folder: mode tightened again
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(UserTempFolder, RefusesASymbolicLink) {
  TempDir dir;
  TmpDirVariable tmpdir(dir.path());
  ASSERT_EQ(::mkdir(dir.Sub("elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(::symlink(dir.Sub("elsewhere").c_str(), Expected(dir).c_str()), 0);
  EXPECT_THROW(UserTempFolder(), std::runtime_error);
}

TEST(UserTempFolder, RefusesAForeignFolderOrAFile) {
  TempDir dir;
  TmpDirVariable tmpdir(dir.path());
  ASSERT_EQ(::mkdir(Expected(dir).c_str(), 0700), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(Expected(dir).c_str(), 4242, 4242), 0);
    try {
      UserTempFolder();
      FAIL() << "a folder of another user was accepted";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find("4242"), std::string::npos) << error.what();
    }
  }
  ASSERT_EQ(::rmdir(Expected(dir).c_str()), 0);
  testing::WriteFile(Expected(dir), "not a folder");
  EXPECT_THROW(UserTempFolder(), std::runtime_error);
}

TEST(UserTempFolder, RefusesARelativeOrMissingBase) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.Sub("rel").c_str(), 0700), 0);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  {
    // A relative base would follow whatever folder the process happens to run in.
    TmpDirVariable tmpdir("rel");
    EXPECT_THROW(UserTempFolder(), std::runtime_error);
  }
  std::filesystem::current_path(previous);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("rel/nurv-" + std::to_string(::getuid()))));
  TmpDirVariable tmpdir(dir.Sub("missing"));
  EXPECT_THROW(UserTempFolder(), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("missing")));
}

TEST(SystemInfo, ExecutableSystemFolderAndProductName) {
  const std::string own = OwnExecutablePath();
  EXPECT_EQ(std::filesystem::path(own).filename(), "test_platform");
  EXPECT_TRUE(std::filesystem::path(own).is_absolute());
  EXPECT_EQ(SystemFolder(), "/usr/lib/p7zip");
  EXPECT_FALSE(OsProductName().empty());
  EXPECT_EQ(OsProductName().find('"'), std::string::npos);
}

}  // namespace
}  // namespace nurv::platform
#endif  // _WIN32
