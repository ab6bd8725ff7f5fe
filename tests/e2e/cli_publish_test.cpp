// Round trip: a complex updated by nurvloader-cli from a table that nurv-publish filled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "platform/files.h"

namespace nurv::testing {
namespace {

// A whole minute: the date rule stamps a file with its row's time to the minute, and 7z items
// keep theirs to two seconds.
const DateTime kPublished = std::chrono::local_days(std::chrono::year(2026) / 4 / 20) +
                            std::chrono::hours(14) + std::chrono::minutes(30);

class CliPublishedTable : public CliTest {
 protected:
  // Runs nurv-publish on the complex's update database; true when it succeeded.
  bool Publish(std::vector<std::string> args) {
    args.insert(args.begin(), {"--server", Server(), "--database", "demo"});
    const std::string out = complex_.Path("publish.out"), err = complex_.Path("publish.err");
    const ProcessRef process = StartProcess(BuiltProgram("nurv-publish"), args, out, err);
    const int status = process == kNoProcess ? -1 : WaitForProcess(process);
    EXPECT_EQ(status, 0) << args[4] << ": " << ReadFile(err);
    return status == 0;
  }

  // A file of the release, under a name of its own, modified at kPublished.
  std::string Release(const std::string& relative, const std::string& bytes) {
    const std::string path = complex_.Path("release/" + relative);
    fs::create_directories(Utf8Path(path).parent_path());
    WriteFile(path, bytes);
    EXPECT_TRUE(platform::WriteModifiedTime(path, kPublished));
    return path;
  }
};

TEST_F(CliPublishedTable, FilesLandAsPublishedAndTheSecondRunWritesNothing) {
  fs::remove(Utf8Path(complex_.Db()));
  ASSERT_TRUE(Publish({"init"}));
  const std::string main = Release("main-5.1.10.2", MainPrograms::Get().NewBytes());
#ifndef _WIN32
  fs::permissions(Utf8Path(main), fs::perms::owner_exec, fs::perm_options::add);
#endif
  const std::string bin = complex_.Bin();
  // Where each published file must land, and its bytes.
  const std::vector<std::pair<std::string, std::string>> landed = {
      {bin + "nurv.exe", MainPrograms::Get().NewBytes()},
      {bin + "libeay32.dll", BuildPeFile({1, 0, 2, 22}, {1, 0, 2, 22})},
      {bin + "ssleay32.dll", BuildPeFile({1, 0, 2, 22}, {1, 0, 2, 22}, true)},
      {bin + "nurvrun.bat", "@echo off\r\nstart nurv.exe %*\r\n"},
      {complex_.Path("Help/HelpNurv.chm"), "ITSF help"},
      {complex_.Path("Help/HelpNurv.pdf"), "%PDF-1.4 help"},
      {bin + "NurvExplorer.exe", BuildPeFile({2, 0, 0, 7}, {2, 0, 0, 7})},
      {bin + "libcef.dll", "browser"},
      {bin + "icudtl.dat", "icu"},
      {bin + "locales/ru.pak", "locale"},
      {bin + "swiftshader/libEGL.dll", "egl"},
      {complex_.Path("Shablon/Бланк_01.doc"), "blank"},
      {complex_.Path("Shablon/Форма_01.xls"), "form"},
  };
  ASSERT_TRUE(Publish({"publish", "PRG", main}));
  ASSERT_TRUE(
      Publish({"publish", "LDR", Release("loader.exe", BuildPeFile({6, 3, 0, 0}, {6, 3, 0, 0}))}));
  ASSERT_TRUE(Publish({"publish", "SSL1", Release("libeay.dll", landed[1].second)}));
  ASSERT_TRUE(Publish({"publish", "SSL2", Release("ssleay.dll", landed[2].second)}));
  ASSERT_TRUE(Publish({"publish", "BAT", Release("run.bat", landed[3].second)}));
  ASSERT_TRUE(Publish({"publish", "CHM", Release("help.chm", landed[4].second)}));
  ASSERT_TRUE(Publish({"publish", "PDF", Release("help.pdf", landed[5].second)}));
  ASSERT_TRUE(Publish({"publish", "EXP", Release("explorer.exe", landed[6].second)}));
  Release("cxp/libcef.dll", "browser");
  Release("cxp/icudtl.dat", "icu");
  Release("lxp/ru.pak", "locale");
  Release("swi/libEGL.dll", "egl");
  Release("doc/Бланк_01.doc", "blank");
  Release("xls/Форма_01.xls", "form");
  for (const char* group : {"CXP", "LXP", "SWI", "DOC", "XLS"}) {
    std::string folder = group;
    for (char& c : folder) c = static_cast<char>(c - 'A' + 'a');
    ASSERT_TRUE(Publish({"publish-group", group, complex_.Path("release/" + folder)}));
  }

  const CliRun first = RunCli();
  EXPECT_EQ(first.status, 0) << first.err << Joined(first.out);
  for (const auto& [path, bytes] : landed) {
    EXPECT_EQ(ReadFile(path), bytes) << path;
    EXPECT_EQ(platform::ReadModifiedTime(path), kPublished) << path;
  }
  AwaitLaunch(first);

  const CliRun second = RunCli();
  EXPECT_EQ(second.status, 0) << second.err;
  // No newer version: the single modules are not looked at; the groups find nothing newer.
  EXPECT_EQ(CountPrefix(second.out, " -> "), 6);
  for (const std::string& line : second.out)
    EXPECT_FALSE(line.rfind(" -> ", 0) == 0 && !line.ends_with("НЕ ТРЕБУЕТСЯ")) << line;
  for (const auto& [path, bytes] : landed)
    EXPECT_EQ(platform::ReadModifiedTime(path), kPublished) << path;
  AwaitLaunch(second);
}

}  // namespace
}  // namespace nurv::testing
