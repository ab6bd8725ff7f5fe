// The POSIX stand-ins; Windows has its own tests (*_win32_test.cpp).
#ifndef _WIN32
#include "platform/recycle_bin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "common/temp_dir.h"

namespace nurv::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Points the Trash into a temporary folder for one test.
class RecycleBinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    had_old_ = old != nullptr;
    if (old) old_ = old;
    setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
  }
  void TearDown() override {
    if (had_old_) {
      setenv("XDG_DATA_HOME", old_.c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
  }
  std::string Trash(const std::string& rel) const { return data_.Sub("Trash/" + rel); }

  TempDir data_;
  TempDir work_;
  bool had_old_ = false;
  std::string old_;
};

TEST_F(RecycleBinTest, FolderWithContentsMovesWithInfoFile) {
  const std::string cef = work_.Sub("Папка CEF");
  fs::create_directories(cef + "/sub");
  WriteFile(cef + "/a.pak", "aaa");
  WriteFile(cef + "/sub/b.dll", "bbb");
  chmod((cef + "/a.pak").c_str(), 0444);

  ASSERT_TRUE(MoveToRecycleBin(cef + "/"));
  EXPECT_FALSE(fs::exists(cef));
  EXPECT_EQ(ReadFile(Trash("files/Папка CEF/a.pak")), "aaa");
  EXPECT_EQ(ReadFile(Trash("files/Папка CEF/sub/b.dll")), "bbb");

  const std::string info = ReadFile(Trash("info/Папка CEF.trashinfo"));
  const std::string encoded = work_.path() + "/%D0%9F%D0%B0%D0%BF%D0%BA%D0%B0%20CEF";
  EXPECT_TRUE(std::regex_match(
      info, std::regex("\\[Trash Info\\]\nPath=(.*)\n"
                       "DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
      << info;
  EXPECT_NE(info.find("Path=" + encoded + "\n"), std::string::npos) << info;
  EXPECT_EQ((fs::status(Trash("files")).permissions() & fs::perms::all), fs::perms::owner_all);
}

TEST_F(RecycleBinTest, SameNameTwiceGetsUniqueNames) {
  for (const char* content : {"first", "second", "third"}) {
    WriteFile(work_.Sub("cef.pak"), content);
    ASSERT_TRUE(MoveToRecycleBin(work_.Sub("cef.pak")));
  }
  EXPECT_EQ(ReadFile(Trash("files/cef.pak")), "first");
  EXPECT_EQ(ReadFile(Trash("files/cef.pak.2")), "second");
  EXPECT_EQ(ReadFile(Trash("files/cef.pak.3")), "third");
  EXPECT_TRUE(fs::exists(Trash("info/cef.pak.3.trashinfo")));
}

TEST_F(RecycleBinTest, LeftOverItemWithoutInfoIsNotOverwritten) {
  fs::create_directories(Trash("files"));
  WriteFile(Trash("files/x.bin"), "orphan");
  WriteFile(work_.Sub("x.bin"), "new");
  ASSERT_TRUE(MoveToRecycleBin(work_.Sub("x.bin")));
  EXPECT_EQ(ReadFile(Trash("files/x.bin")), "orphan");
  EXPECT_EQ(ReadFile(Trash("files/x.bin.2")), "new");
  EXPECT_FALSE(fs::exists(Trash("info/x.bin.trashinfo")));
}

TEST_F(RecycleBinTest, MissingItemFailsAndLeavesNoInfo) {
  EXPECT_FALSE(MoveToRecycleBin(work_.Sub("CEF")));
  EXPECT_FALSE(MoveToRecycleBin(""));
  if (fs::exists(Trash("info"))) {
    EXPECT_TRUE(fs::is_empty(Trash("info")));
  }
}

TEST_F(RecycleBinTest, CrossFileSystemMoveCopiesThenRemoves) {
  // /dev/shm is a tmpfs of its own on most machines; without a second file system there is no
  // cross-device case to try.
  struct stat shm {
  }, data{};
  if (stat("/dev/shm", &shm) != 0 || stat(data_.path().c_str(), &data) != 0 ||
      shm.st_dev == data.st_dev || access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "no second file system";
  }
  const std::string folder = "/dev/shm/nurv-trash-test-" + std::to_string(getpid());
  fs::create_directories(folder + "/in");
  WriteFile(folder + "/in/f.txt", "x");
  ASSERT_TRUE(MoveToRecycleBin(folder));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(ReadFile(Trash("files/" + fs::path(folder).filename().string() + "/in/f.txt")), "x");
}

}  // namespace
}  // namespace nurv::platform
#endif  // _WIN32
