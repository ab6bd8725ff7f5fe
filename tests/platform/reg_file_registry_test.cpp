// The POSIX registry store in its .reg file.
#ifndef _WIN32
#include "platform/posix/reg_file_registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/temp_dir.h"
#include "platform/posix/reg_file.h"

namespace nurv::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;

constexpr const char* kNurv = "\\SOFTWARE\\NURVSQL";

std::vector<std::string> FilesIn(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) names.push_back(name);
  }
  return names;
}

regfile::Value UserValue() {
  regfile::Value value;
  value.name = "User51";
  value.text = "u";
  return value;
}

class RegFileRegistryTest : public ::testing::Test {
 protected:
  regfile::ParseResult Stored() { return regfile::Parse(ReadFile(path_)); }

  TempDir dir_;
  std::string path_ = dir_.Sub("config/nurv/registry.reg");
  std::unique_ptr<Registry> registry_ = OpenRegistryFile(path_);
};

TEST_F(RegFileRegistryTest, CreatesStoreAndKeysOnFirstWriteOnly) {
  EXPECT_EQ(registry_->Open(kNurv), nullptr);
  EXPECT_FALSE(fs::exists(dir_.Sub("config")));  // reading creates nothing

  auto key = registry_->Create(kNurv);
  ASSERT_NE(key, nullptr);
  key->SetDword("Region", 554);
  key->SetString("PathUpdate", "/opt/complex/Update");
  registry_->Create("\\SOFTWARE\\NURVSQL\\ServerNames")->SetString("ServerName51", "sqlite:/x");
  EXPECT_EQ(ReadFile(path_),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\n"
            "\"Region\"=dword:0000022a\n"
            "\"PathUpdate\"=\"/opt/complex/Update\"\n\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames]\n"
            "\"ServerName51\"=\"sqlite:/x\"\n\n");
  EXPECT_TRUE(fs::exists(path_ + ".lock"));
  EXPECT_EQ(fs::status(dir_.Sub("config/nurv")).permissions() & fs::perms::all,
            fs::perms::owner_all);

  // A parent exists because its sub-key does; the root always exists.
  EXPECT_NE(registry_->Open("\\SOFTWARE"), nullptr);
  EXPECT_NE(registry_->Open("\\"), nullptr);
  EXPECT_EQ(registry_->Open("\\SOFTWARE\\NURV"), nullptr);
  EXPECT_EQ(registry_->Open("\\SOFTWARE\\NURVSQL\\Users"), nullptr);
}

TEST_F(RegFileRegistryTest, ValuesByTypeWithNamesWithoutCase) {
  auto key = registry_->Create("\\software\\nurvsql\\");
  key->SetDword("ThemeXP", 1);
  key->SetString("LastUser", "Петров \"П.\" C:\\x");
  key->SetString("Multi", "line1\r\nline2");
  key->SetString("", "default");

  auto reopened = registry_->Open("\\SOFTWARE\\NURVSQL");
  ASSERT_NE(reopened, nullptr);
  const auto theme = reopened->Query("themexp");
  ASSERT_TRUE(theme);
  EXPECT_EQ(theme->type, RegType::Dword);
  EXPECT_EQ(theme->number, 1u);
  EXPECT_EQ(reopened->Query("LASTUSER")->text, "Петров \"П.\" C:\\x");
  EXPECT_EQ(reopened->Query("LASTUSER")->type, RegType::Sz);
  // A text a quoted line cannot hold is kept as hex(1) and reads back unchanged.
  EXPECT_EQ(reopened->Query("Multi")->type, RegType::Sz);
  EXPECT_EQ(reopened->Query("Multi")->text, "line1\r\nline2");
  EXPECT_NE(ReadFile(path_).find("\"Multi\"=hex(1):6c,00"), std::string::npos);
  EXPECT_EQ(reopened->Query("")->text, "default");
  EXPECT_FALSE(reopened->Query("Absent"));

  // Rewriting under another spelling keeps the stored name; deleting ignores case too.
  reopened->SetDword("THEMEXP", 0);
  EXPECT_NE(ReadFile(path_).find("\"ThemeXP\"=dword:00000000"), std::string::npos);
  reopened->DeleteValue("lastuser");
  reopened->DeleteValue("never-there");
  EXPECT_FALSE(registry_->Open(kNurv)->Query("LastUser"));
  EXPECT_THROW(reopened->SetString("bad\nname", "x"), RegistryError);
}

TEST_F(RegFileRegistryTest, OtherProgramsKeysAndValuesSurviveEveryWrite) {
  const std::string foreign =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\r\n"
      "@=\"other default\"\r\n"
      "\"Env\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n"
      "\"Q\"=hex(b):ff,ee,dd,cc,bb,aa,99,88\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\r\n"
      "\"Foreign\"=hex(7):61,00,00,00,00,00\r\n"
      "\"Region\"=dword:00000001\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Whatever]\r\n"
      "\"x\"=\"y\"\r\n";
  fs::create_directories(dir_.Sub("config/nurv"));
  WriteFile(path_, foreign);
  const regfile::Document before = Stored().document;

  auto key = registry_->Open(kNurv);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Query("Foreign")->type, RegType::MultiSz);
  EXPECT_EQ(key->Query("Foreign")->raw, (std::vector<std::uint8_t>{'a', 0, 0, 0, 0, 0}));
  EXPECT_EQ(registry_->Open("\\SOFTWARE\\Other")->Query("Env")->type, RegType::ExpandSz);
  EXPECT_EQ(registry_->Open("\\SOFTWARE\\Other")->Query("Env")->text, "%TMP%");
  key->SetDword("Region", 550);
  registry_->Create("\\SOFTWARE\\NURVSQL\\Users")->SetString("User51", "u");

  const regfile::ParseResult after = Stored();
  ASSERT_EQ(after.status, regfile::ParseStatus::Ok);
  regfile::Document expected = before;
  expected.keys[1].values[1].number = 550;
  expected.keys.insert(expected.keys.begin() + 2,
                       regfile::Key{"HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\Users", {UserValue()}});
  EXPECT_EQ(after.document, expected);
  EXPECT_EQ(ReadFile(path_).substr(0, 3), "Win");  // written without a BOM
  EXPECT_TRUE(FilesIn(dir_.Sub("config/nurv"), "registry.reg.broken").empty());
}

TEST_F(RegFileRegistryTest, OpenKeyServesItsSnapshotAndWritesSeeTheLatestStore) {
  registry_->Create(kNurv)->SetDword("A", 1);
  auto snapshot = registry_->Open(kNurv);
  // Another process writes meanwhile.
  OpenRegistryFile(path_)->Open(kNurv)->SetDword("B", 2);
  EXPECT_FALSE(snapshot->Query("B"));
  // A write re-reads the store under the lock, so the other change is not lost.
  snapshot->SetDword("C", 3);
  EXPECT_EQ(snapshot->Query("B")->number, 2u);
  auto fresh = registry_->Open(kNurv);
  EXPECT_EQ(fresh->Query("A")->number, 1u);
  EXPECT_EQ(fresh->Query("B")->number, 2u);
  EXPECT_EQ(fresh->Query("C")->number, 3u);
}

TEST_F(RegFileRegistryTest, DamagedStoreIsReadAndCopiedAsideBeforeItsFirstRewrite) {
  fs::create_directories(dir_.Sub("config/nurv"));
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\n"
      "\"Region\"=dword:00000226\n"
      "\"Broken\"=hex:01,zz\n"
      "\"PathUpdate\"=\"/opt/comp";  // cut off
  WriteFile(path_, damaged);
  auto key = registry_->Open(kNurv);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Query("Region")->number, 550u);
  EXPECT_FALSE(key->Query("PathUpdate"));

  key->DeleteValue("Absent");  // no change: nothing rewritten, nothing copied
  EXPECT_EQ(ReadFile(path_), damaged);
  EXPECT_TRUE(FilesIn(dir_.Sub("config/nurv"), "registry.reg.broken-").empty());

  key->SetDword("Region2", 1);
  const auto copies = FilesIn(dir_.Sub("config/nurv"), "registry.reg.broken-");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadFile(dir_.Sub("config/nurv/" + copies[0])), damaged);
  EXPECT_EQ(Stored().status, regfile::ParseStatus::Ok);
  EXPECT_EQ(registry_->Open(kNurv)->Query("Region")->number, 550u);

  key->SetDword("Region2", 2);  // the store is sound now: no second copy
  EXPECT_EQ(FilesIn(dir_.Sub("config/nurv"), "registry.reg.broken-").size(), 1u);
}

TEST_F(RegFileRegistryTest, UnreadableStoreIsKeptBeforeAFreshStoreReplacesIt) {
  fs::create_directories(dir_.Sub("config/nurv"));
  std::string garbage;
  for (int i = 0; i < 1000; ++i) garbage += static_cast<char>((i * 97 + 3) % 256);
  WriteFile(path_, garbage);
  EXPECT_EQ(registry_->Open(kNurv), nullptr);
  EXPECT_EQ(ReadFile(path_), garbage);

  registry_->Create(kNurv)->SetDword("Region", 550);
  const auto copies = FilesIn(dir_.Sub("config/nurv"), "registry.reg.broken-");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadFile(dir_.Sub("config/nurv/" + copies[0])), garbage);
  EXPECT_EQ(registry_->Open(kNurv)->Query("Region")->number, 550u);
}

TEST_F(RegFileRegistryTest, StoreThatCannotBeWrittenRaises) {
  WriteFile(dir_.Sub("config"), "a file where the folder should be");
  EXPECT_EQ(registry_->Open(kNurv), nullptr);
  EXPECT_THROW(registry_->Create(kNurv), RegistryError);
}

TEST_F(RegFileRegistryTest, BatchReachesTheFileAsOneWrite) {
  registry_->Create("\\SOFTWARE\\Other")->SetString("Theirs", "kept");
  const std::string before = ReadFile(path_);
  // Another process, told to read while the batch is under way (started before it, so that it
  // holds nothing of the batch's lock).
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  const pid_t reader = ::fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    char byte = 0;
    ::close(go[1]);
    if (::read(go[0], &byte, 1) != 1) ::_exit(2);
    const auto key = OpenRegistryFile(path_)->Open(kNurv);
    ::_exit(key && key->Query("Region") && key->Query("PathUpdate") ? 0 : 1);
  }
  ::close(go[0]);
  registry_->Batch([&] {
    registry_->Create(kNurv)->SetDword("Region", 550);
    EXPECT_EQ(::write(go[1], "r", 1), 1);
    registry_->Create(kNurv)->SetString("PathUpdate", "/u");
    EXPECT_EQ(registry_->Open(kNurv)->Query("Region")->number, 550u) << "seen within the batch";
    EXPECT_EQ(ReadFile(path_), before);
  });
  ::close(go[1]);
  int status = -1;
  ASSERT_EQ(::waitpid(reader, &status, 0), reader);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reader saw part of the batch";
  EXPECT_EQ(registry_->Open("\\SOFTWARE\\Other")->Query("Theirs")->text, "kept");

  // A batch that raises writes nothing and leaves the store to the next writer.
  const std::string after = ReadFile(path_);
  EXPECT_THROW(registry_->Batch([&] {
    registry_->Open(kNurv)->SetDword("Region", 1);
    throw RegistryError("given up");
  }),
               RegistryError);
  EXPECT_EQ(ReadFile(path_), after);
  registry_->Open(kNurv)->SetDword("Region2", 1);
  EXPECT_EQ(registry_->Open(kNurv)->Query("Region")->number, 550u);

  // A store that cannot be locked: each write of the batch fails on its own.
  fs::remove(path_ + ".lock");
  fs::create_directory(path_ + ".lock");
  int failed = 0;
  registry_->Batch([&] {
    for (const char* name : {"A", "B"}) {
      try {
        registry_->Open(kNurv)->SetDword(name, 1);
      } catch (const RegistryError&) {
        ++failed;
      }
    }
  });
  EXPECT_EQ(failed, 2);
}

TEST_F(RegFileRegistryTest, ConcurrentWritersLoseNothing) {
  registry_->Create(kNurv);
  constexpr int kWriters = 3;
  constexpr int kWrites = 15;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        auto registry = OpenRegistryFile(path_);
        auto key = registry->Open(kNurv);
        for (int i = 0; i < kWrites; ++i) {
          key->SetDword("w" + std::to_string(w) + "_" + std::to_string(i),
                        static_cast<std::uint32_t>(i));
        }
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto key = registry_->Open(kNurv);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kWrites; ++i) {
      const auto value = key->Query("w" + std::to_string(w) + "_" + std::to_string(i));
      ASSERT_TRUE(value) << w << "_" << i;
      EXPECT_EQ(value->number, static_cast<std::uint32_t>(i));
    }
  }
}

TEST_F(RegFileRegistryTest, WriterKilledAtAnyMomentLeavesACompleteStore) {
  auto key = registry_->Create(kNurv);
  key->SetString("Keep", "me");
  // A temporary file of a writer that died before its rename.
  WriteFile(path_ + ".tmp-99999", "Windows Registry Editor Version 5.00\n\n[HKEY_CUR");
  EXPECT_EQ(registry_->Open(kNurv)->Query("Keep")->text, "me");

  for (int round = 0; round < 8; ++round) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto registry = OpenRegistryFile(path_);
      auto child_key = registry->Open(kNurv);
      for (std::uint32_t i = 0;; ++i) child_key->SetDword("Counter", i);
    }
    // Kill at a different point of the write cycle each round.
    ::usleep(static_cast<useconds_t>(2000 + round * 1700));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const regfile::ParseResult stored = Stored();
    ASSERT_EQ(stored.status, regfile::ParseStatus::Ok) << "round " << round;
    EXPECT_EQ(registry_->Open(kNurv)->Query("Keep")->text, "me");
  }
  // The next write clears what the killed writers left behind.
  key->SetString("Keep", "still");
  EXPECT_TRUE(FilesIn(dir_.Sub("config/nurv"), "registry.reg.tmp-").empty());
  EXPECT_EQ(registry_->Open(kNurv)->Query("Keep")->text, "still");
}

TEST(CurrentUserRegistryPath, FollowsXdgConfigHomeElseHome) {
  const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
  const char* old_home = std::getenv("HOME");
  const std::string saved_xdg = old_xdg ? old_xdg : "";
  const std::string saved_home = old_home ? old_home : "";
  ::setenv("HOME", "/home/someone", 1);
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(CurrentUserRegistryPath(), "/cfg/nurv/registry.reg");
  ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // not absolute: ignored
  EXPECT_EQ(CurrentUserRegistryPath(), "/home/someone/.config/nurv/registry.reg");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(CurrentUserRegistryPath(), "/home/someone/.config/nurv/registry.reg");
  if (old_xdg) ::setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
  if (old_home) {
    ::setenv("HOME", saved_home.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
}

}  // namespace
}  // namespace nurv::platform

#endif  // _WIN32
