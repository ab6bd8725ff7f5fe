// The publisher's secret key file against the other users of the machine: keygen never lets one of
// them open it, and --key refuses a file they may open. POSIX, as root (to act as `nobody`).
#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "publish_fixture.h"

namespace nurv::testing {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// A child that becomes `nobody` and tries to open `key` over and over until `done` exists, once
// more after that, then opens `reachable` (a file it may read) to prove it could have reached the
// key. Its exit status: 0 it never opened the key, 1 it did, 2 it could not become `nobody`,
// 3 it could not reach the folder.
pid_t StartSpy(const std::string& key, const std::string& done, const std::string& reachable) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
  for (bool last = false; !last;) {
    last = access(done.c_str(), F_OK) == 0;
    if (open(key.c_str(), O_RDONLY) >= 0) _exit(1);
  }
  _exit(open(reachable.c_str(), O_RDONLY) >= 0 ? 0 : 3);
}

int ExitStatusOf(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class SecretKeyFile : public PublishTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    fs::permissions(dir_.path(), kSharedFolder);
    params_ = {SqliteServerName(dir_.Sub("updates.db")), "nurv", "admin", "secret"};
  }

  // A folder every user may look into, as a shared one is.
  static constexpr fs::perms kSharedFolder = fs::perms::owner_all | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec;
};

TEST_F(SecretKeyFile, AnotherUserCannotOpenItWhileKeygenMakesItNorAfter) {
  // Many tries: a window in which the file is open to others would be hit in some of them.
  for (int i = 0; i < 30; ++i) {
    const std::string folder = dir_.Sub("keys" + std::to_string(i));
    fs::create_directory(folder);
    fs::permissions(folder, kSharedFolder);
    const pid_t spy =
        StartSpy(folder + "/nurv-publish.key", folder + "/done", folder + "/nurv-publish.pub");
    ASSERT_GT(spy, 0);
    const PublishRun keygen = Keygen("keys" + std::to_string(i));
    WriteFile(folder + "/done", "");
    ASSERT_EQ(ExitStatusOf(spy), 0) << "try " << i;
    ASSERT_EQ(keygen.status, 0) << keygen.err;
  }
}

TEST_F(SecretKeyFile, KeyThatOthersMayOpenIsRefused) {
  ASSERT_EQ(Keygen("keys").status, 0);
  ASSERT_EQ(Publish({"init"}).status, 0);
  const std::string key = dir_.Sub("keys/nurv-publish.key");
  const std::string bat = Source("in/run.bat", "@echo off\r\n");
  const struct {
    mode_t mode;
    std::string text;
  } modes[] = {{0644, "0644"}, {0640, "0640"}, {0604, "0604"}, {0620, "0620"}};
  for (const auto& [mode, text] : modes) {
    ASSERT_EQ(chmod(key.c_str(), mode), 0);
    const std::string before = Snapshot();
    const PublishRun run = Publish({"publish", "BAT", bat, "--key", key});
    EXPECT_EQ(run.status, 3) << text;
    EXPECT_NE(run.err.find("слишком открыты (" + text + ")"), std::string::npos) << run.err;
    EXPECT_EQ(Snapshot(), before);
  }
  ASSERT_EQ(chmod(key.c_str(), 0600), 0);
  EXPECT_EQ(Publish({"publish", "BAT", bat, "--key", key}).status, 0);
}

}  // namespace
}  // namespace nurv::testing
#endif
