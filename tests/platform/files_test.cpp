// The POSIX stand-ins; Windows has its own tests (*_win32_test.cpp).
#ifndef _WIN32
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "common/temp_dir.h"

namespace nurv::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// A fixed zone with summer time, so conversions around the change are exercised too.
class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~LocalZone() {
    had_ ? ::setenv("TZ", saved_.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

DateTime At(int y, unsigned m, unsigned d, int h, int min, int s, int ms) {
  using namespace std::chrono;
  return DateTime{local_days{year{y} / month{m} / day{d}}.time_since_epoch()} + hours{h} +
         minutes{min} + seconds{s} + milliseconds{ms};
}

TEST(FileAttributes, WindowsViewOfPosixFiles) {
  TempDir dir;
  WriteFile(dir.Sub("plain"), "x");
  WriteFile(dir.Sub(".dot"), "x");
  EXPECT_EQ(ReadAttributes(dir.Sub("plain")), kAttrArchive);
  EXPECT_EQ(ReadAttributes(dir.Sub(".dot")), kAttrArchive | kAttrHidden);
  EXPECT_EQ(ReadAttributes(dir.path()), kAttrDirectory);
  EXPECT_EQ(ReadAttributes(dir.Sub("missing")), std::nullopt);

  EXPECT_TRUE(WriteAttributes(dir.Sub("plain"), kAttrReadOnly | kAttrArchive));
  EXPECT_EQ(ReadAttributes(dir.Sub("plain")), kAttrReadOnly | kAttrArchive);
  struct stat info {};
  ASSERT_EQ(::stat(dir.Sub("plain").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u);
  EXPECT_TRUE(WriteAttributes(dir.Sub("plain"), kAttrArchive | kAttrHidden | kAttrSystem));
  EXPECT_EQ(ReadAttributes(dir.Sub("plain")), kAttrArchive);  // hidden, system: no effect
  EXPECT_FALSE(WriteAttributes(dir.Sub("missing"), kAttrArchive));
}

TEST(FileOperations, ReadOnlyTargetsAreRefusedAsOnWindows) {
  TempDir dir;
  WriteFile(dir.Sub("new"), "new");
  WriteFile(dir.Sub("locked"), "old");
  ASSERT_EQ(::chmod(dir.Sub("locked").c_str(), 0444), 0);
  EXPECT_FALSE(CopyFileReplacing(dir.Sub("new"), dir.Sub("locked")));
  EXPECT_FALSE(RenameReplacing(dir.Sub("new"), dir.Sub("locked")));
  EXPECT_FALSE(RemoveFile(dir.Sub("locked")));
  EXPECT_EQ(LastErrorText(), "Permission denied");
  EXPECT_EQ(ReadFile(dir.Sub("locked")), "old");
}

TEST(FileOperations, CopyKeepsTimeAndModeRenameReplaces) {
  TempDir dir;
  WriteFile(dir.Sub("a"), "contents");
  ASSERT_EQ(::chmod(dir.Sub("a").c_str(), 0750), 0);
  const DateTime stamp = At(2021, 5, 4, 10, 20, 30, 250);
  ASSERT_TRUE(WriteModifiedTime(dir.Sub("a"), stamp));
  WriteFile(dir.Sub("b"), "older and longer contents");
  ASSERT_TRUE(CopyFileReplacing(dir.Sub("a"), dir.Sub("b")));
  EXPECT_EQ(ReadFile(dir.Sub("b")), "contents");
  EXPECT_EQ(ReadModifiedTime(dir.Sub("b")), stamp);
  struct stat info {};
  ASSERT_EQ(::stat(dir.Sub("b").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);
  EXPECT_FALSE(CopyFileReplacing(dir.Sub("missing"), dir.Sub("c")));
  EXPECT_FALSE(FileExists(dir.Sub("c")));

  ASSERT_TRUE(RenameReplacing(dir.Sub("a"), dir.Sub("b")));
  EXPECT_FALSE(FileExists(dir.Sub("a")));
  EXPECT_TRUE(FileExists(dir.Sub("b")));
}

TEST(FileOperations, CopyWithinAndAcrossFileSystems) {
  TempDir dir;
  std::string large(3 << 20, '\0');
  for (std::size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>(i * 2654435761u >> 13);
  WriteFile(dir.Sub("large"), large);
  ASSERT_TRUE(CopyFileReplacing(dir.Sub("large"), dir.Sub("large.copy")));
  EXPECT_TRUE(ReadFile(dir.Sub("large.copy")) == large);
  // Another file system, and a file that reports no size and is read to its end all the same.
  for (const std::string source : {"/dev/shm", "/proc/version"}) {
    std::string from = source;
    if (source == "/dev/shm") {
      if (!DirectoryExists(source)) continue;
      from = source + "/nurv-copy-" + std::to_string(::getpid());
      WriteFile(from, large);
    }
    const std::string expected = ReadFile(from);
    ASSERT_FALSE(expected.empty()) << from;
    ASSERT_TRUE(CopyFileReplacing(from, dir.Sub("other"))) << from;
    EXPECT_TRUE(ReadFile(dir.Sub("other")) == expected) << from;
    if (source == "/dev/shm") ::unlink(from.c_str());
  }
}

TEST(FileOperations, FileIdFollowsTheFileNotItsName) {
  TempDir dir;
  WriteFile(dir.Sub("a"), "same");
  WriteFile(dir.Sub("b"), "same");
  ASSERT_EQ(::link(dir.Sub("a").c_str(), dir.Sub("hard").c_str()), 0);
  ASSERT_EQ(::symlink(dir.Sub("a").c_str(), dir.Sub("soft").c_str()), 0);
  const auto a = ReadFileId(dir.Sub("a"));
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(ReadFileId(dir.Sub("hard")), a);
  EXPECT_EQ(ReadFileId(dir.Sub("soft")), a);
  EXPECT_EQ(ReadFileId(dir.Sub("./a")), a);
  EXPECT_NE(ReadFileId(dir.Sub("b")), a);
  EXPECT_EQ(ReadFileId(dir.Sub("missing")), std::nullopt);
}

// The walks take the one look-up for the three single questions: it must answer as they do.
TEST(FileOperations, FactsAnswerAsTheSingleLookUps) {
  TempDir dir;
  WriteFile(dir.Sub("a"), "x");
  ASSERT_TRUE(WriteModifiedTime(dir.Sub("a"), At(2024, 3, 1, 10, 0, 0, 250)));
  ASSERT_EQ(::symlink(dir.Sub("a").c_str(), dir.Sub("soft").c_str()), 0);
  ASSERT_EQ(::symlink(dir.Sub("gone").c_str(), dir.Sub("dangling").c_str()), 0);
  CreateFolder(dir.Sub("sub"));
  for (const char* name : {"a", "soft", "dangling", "sub", "missing"}) {
    const std::string path = dir.Sub(name);
    const FileFacts facts = ReadFileFacts(path);
    EXPECT_EQ(facts.exists_as_file, FileExists(path)) << name;
    EXPECT_EQ(facts.id, ReadFileId(path)) << name;
    EXPECT_EQ(facts.modified, ReadModifiedTime(path)) << name;
  }
  EXPECT_EQ(ReadFileFacts(dir.Sub("soft")).modified, At(2024, 3, 1, 10, 0, 0, 250));
}

TEST(FileOperations, FoldersAndExistence) {
  TempDir dir;
  EXPECT_TRUE(CreateFolder(dir.Sub("sub")));
  EXPECT_FALSE(CreateFolder(dir.Sub("sub")));  // exists already
  EXPECT_FALSE(CreateFolder(dir.Sub("x/y")));  // one level only
  EXPECT_TRUE(DirectoryExists(dir.Sub("sub")));
  EXPECT_FALSE(FileExists(dir.Sub("sub")));
  EXPECT_FALSE(RemoveFile(dir.Sub("sub")));
  WriteFile(dir.Sub("f"), "");
  EXPECT_TRUE(FileExists(dir.Sub("f")));
  EXPECT_FALSE(DirectoryExists(dir.Sub("f")));
  EXPECT_TRUE(RemoveFile(dir.Sub("f")));
  EXPECT_FALSE(RemoveFile(dir.Sub("f")));
  EXPECT_EQ(LastErrorText(), "No such file or directory");
}

TEST(ModifiedTime, LocalTimeRoundTripToTheMillisecond) {
  TempDir dir;
  WriteFile(dir.Sub("f"), "x");
  for (const char* zone : {"UTC0", "MSK-3", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
    LocalZone local(zone);
    for (const DateTime stamp : {At(2024, 1, 15, 14, 37, 59, 999), At(2024, 7, 1, 0, 0, 0, 1),
                                 At(1999, 12, 31, 23, 59, 58, 0)}) {
      ASSERT_TRUE(WriteModifiedTime(dir.Sub("f"), stamp));
      EXPECT_EQ(ReadModifiedTime(dir.Sub("f")), stamp) << zone;
    }
  }
  // The same instant reads as a different wall-clock time in another zone.
  {
    LocalZone local("UTC0");
    ASSERT_TRUE(WriteModifiedTime(dir.Sub("f"), At(2024, 1, 15, 12, 0, 0, 0)));
  }
  LocalZone moscow("MSK-3");
  EXPECT_EQ(ReadModifiedTime(dir.Sub("f")), At(2024, 1, 15, 15, 0, 0, 0));
  EXPECT_EQ(ReadModifiedTime(dir.Sub("missing")), std::nullopt);
  EXPECT_FALSE(WriteModifiedTime(dir.Sub("missing"), At(2024, 1, 1, 0, 0, 0, 0)));
}

}  // namespace
}  // namespace nurv::platform
#endif  // _WIN32
