// File-group updates: browser groups and templates on real files with real attributes and times.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "loader/update_groups.h"
#include "update_fixture.h"

namespace nurv {
namespace {

using namespace testing;

class GroupUpdate : public UpdateTest {
 protected:
  int Run(const std::string& code) { return Run(ModuleByCode(code)); }
  int Run(const ModuleEntry& entry) { return Code(UpdateFileGroup(Ctx(), entry)); }
  void Install(const std::string& path, const std::string& bytes, DateTime time) {
    WriteFile(path, bytes);
    SetFileTime(path, time);
  }
  DateTime nine = LocalTime(2024, 5, 1, 9, 0, 0);
};

TEST_F(GroupUpdate, OnlyNewerRowsAreWrittenAndNamed) {
  Install(Bin("a.dll"), "a-old", LocalTime(2024, 5, 1, 10, 0, 30));
  Install(Bin("b.dll"), "b-old", nine);
  Install(Bin("c.dll"), "c-old", LocalTime(2024, 5, 2, 0, 0, 0));
  Serve({PlainRow(1, "CXP", "a.dll", "a-new", "2024-05-01 10:00:59"),
         PlainRow(2, "CXP", "b.dll", "b-new", "2024-05-01 10:00:00"),
         PlainRow(3, "CXP", "c.dll", "c-new", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run("CXP"), 1);
  EXPECT_EQ(ReadFile(Bin("a.dll")), "a-old");
  EXPECT_EQ(ReadFile(Bin("b.dll")), "b-new");
  EXPECT_EQ(FileTime(Bin("b.dll")), LocalTime(2024, 5, 1, 10, 0, 0));
  EXPECT_EQ(ReadFile(Bin("c.dll")), "c-old");
  EXPECT_EQ(ui.Log(), std::vector<std::string>{"b.dll"});
  EXPECT_EQ(ui.waits, std::vector<std::int32_t>{100});
  EXPECT_EQ(FolderNames(settings.PathProgram),
            (std::vector<std::string>{"a.dll", "b.dll", "c.dll", "locales", "swiftshader"}));
  ui.ClearLog();
  EXPECT_EQ(Run("CXP"), 0);
  EXPECT_TRUE(ui.Log().empty());
}

TEST_F(GroupUpdate, EachCodeInItsFolder) {
  Serve({PlainRow(1, "LXP", "ru.pak", "ru", "2024-05-01 10:00:00"),
         PlainRow(2, "SWI", "sub\\libGLESv2.dll", "gl", "2024-05-01 10:00:00"),
         PlainRow(3, "DOC", "Form1", "doc", "2024-05-01 10:00:00"),
         PlainRow(4, "XLS", "Form2.xls", "xls", "2024-05-01 10:00:00")});
  std::filesystem::create_directory(Bin("swiftshader/sub"));
  EXPECT_EQ(Run("LXP"), 1);
  EXPECT_EQ(Run("SWI"), 1);
  EXPECT_EQ(Run("DOC"), 1);
  EXPECT_EQ(Run("XLS"), 1);
  EXPECT_EQ(ReadFile(Bin("locales/ru.pak")), "ru");
  EXPECT_EQ(ReadFile(Bin("swiftshader/sub/libGLESv2.dll")), "gl");
  EXPECT_EQ(ReadFile(settings.PathShablon + "/Form1.doc"), "doc");
  EXPECT_EQ(ReadFile(settings.PathShablon + "/Form2.xls"), "xls");
  EXPECT_EQ(ui.Log(),
            (std::vector<std::string>{"ru.pak", "sub\\libGLESv2.dll", "Form1", "Form2.xls"}));
  // A code the table has no rows of.
  ModuleEntry unlisted = ModuleByCode("DOC");
  unlisted.code = "DOC2";
  EXPECT_EQ(Run(unlisted), 0);
}

TEST_F(GroupUpdate, NullBlobOrVanishedRowLeavesTheOldFile) {
  UpdateRow row = PlainRow(1, "CXP", "a.dll", "", "2024-05-01 10:00:00");
  row.fblob.reset();
  Install(Bin("a.dll"), "a-old", nine);
  Serve({row, PlainRow(2, "CXP", "b.dll", "b", "2024-05-01 10:00:00")});
  Sql("UPDATE UpdatesBLOB SET vcode = 22 WHERE vcode = 2");
  EXPECT_EQ(Run("CXP"), 0);
  EXPECT_EQ(ReadFile(Bin("a.dll")), "a-old");
  EXPECT_FALSE(platform::FileExists(Bin("b.dll")));
  EXPECT_TRUE(ui.Log().empty());
}

TEST_F(GroupUpdate, ReadOnlyTemplateReplacedReadOnlyBrowserFileNot) {
  Install(settings.PathShablon + "/Form1.doc", "old", nine);
  SetReadOnly(settings.PathShablon + "/Form1.doc");
  Install(Bin("a.dll"), "old", nine);
  SetReadOnly(Bin("a.dll"));
  Serve({PlainRow(1, "DOC", "Form1", "new", "2024-05-01 10:00:00"),
         PlainRow(2, "CXP", "a.dll", "new", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run("DOC"), 1);
  EXPECT_EQ(ReadFile(settings.PathShablon + "/Form1.doc"), "new");
  ui.ClearLog();
  EXPECT_EQ(Run("CXP"), 9);
  EXPECT_EQ(ui.Log(), (std::vector<std::string>{"ОШИБКА выгрузки файла: [" + Bin("a.dll") + "]",
                                                "[Отказано в доступе]"}));
  EXPECT_EQ(ReadFile(Bin("a.dll")), "old");
  EXPECT_EQ(FileTime(Bin("a.dll")), nine);
}

TEST_F(GroupUpdate, ChecksumMismatchKeepsOldFileOneBadRowDoesNotStopTheRest) {
  Install(Bin("a.dll"), "a-old", nine);
  UpdateRow bad = PlainRow(1, "CXP", "a.dll", "a-new", "2024-05-01 10:00:00");
  bad.caption = std::int64_t{42};
  UpdateRow text_caption = PlainRow(2, "CXP", "b.dll", "b", "2024-05-01 10:00:00");
  text_caption.caption = std::string("abc");
  UpdateRow no_date = PlainRow(3, "CXP", "c.dll", "c", "2024-05-01 10:00:00");
  no_date.updatedate.reset();
  Serve({bad, text_caption, no_date, PlainRow(4, "CXP", "d.dll", "d", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run("CXP"), 9);
  ASSERT_EQ(ui.Log().size(), 8u);
  EXPECT_EQ(ui.Log()[0], "a.dll");
  EXPECT_EQ(ui.Log()[1],
            "--> ОШИБКА выгрузки. Контрольная сумма файла [" + Bin("a.dll") + "] не верна");
  EXPECT_EQ(ui.Log()[2], "b.dll");
  EXPECT_EQ(ui.Log()[3], "ОШИБКА выгрузки файла: [" + Bin("b.dll") + "]");
  EXPECT_EQ(ui.Log()[5], "ОШИБКА выгрузки файла: [" + Bin("c.dll") + "]");
  EXPECT_EQ(ui.Log()[7], "d.dll");
  EXPECT_EQ(ReadFile(Bin("a.dll")), "a-old");
  EXPECT_EQ(FileTime(Bin("a.dll")), nine) << "not stamped: the next run tries again";
  EXPECT_FALSE(platform::FileExists(Bin("b.dll")));
  EXPECT_EQ(ReadFile(Bin("d.dll")), "d");
  EXPECT_EQ(FolderNames(settings.PathProgram),
            (std::vector<std::string>{"a.dll", "d.dll", "locales", "swiftshader"}));
  // Corrected on the server: the next run writes it.
  Serve({PlainRow(1, "CXP", "a.dll", "a-new", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run("CXP"), 1);
  EXPECT_EQ(ReadFile(Bin("a.dll")), "a-new");
}

TEST_F(GroupUpdate, NamesLeavingTheFolderAreRefused) {
  Serve({PlainRow(1, "LXP", "..\\..\\evil.dll", "evil", "2024-05-01 10:00:00"),
         PlainRow(2, "LXP", "/abs.dll", "evil", "2024-05-01 10:00:00"),
         PlainRow(3, "LXP", "C:\\Windows\\evil.dll", "evil", "2024-05-01 10:00:00"),
         PlainRow(4, "LXP", "x/../ok.pak", "ok", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run("LXP"), 9);
  ASSERT_EQ(ui.Log().size(), 7u);
  EXPECT_EQ(ui.Log()[0], "ОШИБКА выгрузки файла: [" + Native(Bin("locales/../../evil.dll")) + "]");
  EXPECT_EQ(ui.Log()[1], "[Недопустимое имя файла: ..\\..\\evil.dll]");
  EXPECT_EQ(ui.Log()[6], "x/../ok.pak");
  EXPECT_EQ(ReadFile(Bin("locales/ok.pak")), "ok");
  EXPECT_FALSE(platform::FileExists(dir.Sub("evil.dll")));
  EXPECT_FALSE(platform::FileExists(Bin("evil.dll")));
}

// The staging name of a destination: fixed length, from the CRC-32 of its file name, so that a
// leftover of a killed run is found again.
std::string StagingName(const std::string& file_name) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(Crc32Of(file_name)));
  return std::string(".~nurv-") + hex + ".tmp";
}

TEST_F(GroupUpdate, StagingNamesNeverMeetRowNamesAndAlwaysFit) {
  // A row named like an older staging name; the longest legal name (124 Cyrillic letters and
  // ".dll" are 252 bytes).
  std::string longest;
  for (int i = 0; i < 124; ++i) longest += "Ж";
  longest += ".dll";
  WriteFile(Bin(StagingName("keep.dat")), "leftover of a killed run");
  Serve({PlainRow(1, "CXP", "keep.dat.nurv~", "first", "2024-05-01 10:00:00"),
         PlainRow(2, "CXP", "keep.dat", "second", "2024-05-01 10:00:00"),
         PlainRow(3, "CXP", longest, "long", "2024-05-01 10:00:00"),
         PlainRow(4, "CXP", ".~nurv-00000000.tmp", "x", "2024-05-01 10:00:00"),
         PlainRow(5, "CXP", "sub/.~nurv/a.dll", "x", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run("CXP"), 9);
  EXPECT_EQ(ReadFile(Bin("keep.dat.nurv~")), "first");
  EXPECT_EQ(ReadFile(Bin("keep.dat")), "second");
  EXPECT_EQ(ReadFile(Bin(longest)), "long");
  EXPECT_EQ(
      FolderNames(settings.PathProgram),
      (std::vector<std::string>{"keep.dat", "keep.dat.nurv~", "locales", "swiftshader", longest}));
  ASSERT_EQ(ui.Log().size(), 7u);
  EXPECT_EQ(ui.Log()[4], "[Недопустимое имя файла: .~nurv-00000000.tmp]");
  EXPECT_EQ(ui.Log()[6], "[Недопустимое имя файла: sub/.~nurv/a.dll]");
}

TEST_F(GroupUpdate, ControlCharactersInNamesAreRefusedAndShownEscaped) {
  Install(Bin("keep.dat"), "keep", nine);
  Serve({PlainRow(1, "CXP", std::string("keep.dat\0evil", 13), "evil", "2024-05-01 10:00:00"),
         PlainRow(2, "CXP", "a\r\nФорг - OK\x7f\t.dll", "x", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run("CXP"), 9);
  const std::string second = "a\\x0D\\x0AФорг - OK\\x7F\\x09.dll";
  EXPECT_EQ(ui.Log(),
            (std::vector<std::string>{"ОШИБКА выгрузки файла: [" + Bin("keep.dat\\x00evil") + "]",
                                      "[Недопустимое имя файла: keep.dat\\x00evil]",
                                      "ОШИБКА выгрузки файла: [" + Bin(second) + "]",
                                      "[Недопустимое имя файла: " + second + "]"}));
  EXPECT_EQ(ReadFile(Bin("keep.dat")), "keep");
  EXPECT_EQ(FolderNames(settings.PathProgram),
            (std::vector<std::string>{"keep.dat", "locales", "swiftshader"}));
}

#ifndef _WIN32
// Links in a group's folder are acted on as links: what they point to, outside the complex,
// keeps its bytes and its mode.
TEST_F(GroupUpdate, LinksAreReplacedNeverFollowed) {
  const std::string shablon = settings.PathShablon + "/";
  const std::string outside = dir.Sub("outside.doc");
  const std::string outside_staged = dir.Sub("outside.tmp");
  for (const std::string& path : {outside, outside_staged}) {
    WriteFile(path, "outside");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  }
  // A read-only template that is a link; a staging name taken by a link and one by a dangling
  // link.
  std::filesystem::create_symlink(outside, shablon + "Form1.doc");
  std::filesystem::create_symlink(outside_staged, shablon + StagingName("Form1.doc"));
  std::filesystem::create_symlink(dir.Sub("created"), shablon + StagingName("Form2.doc"));
  Serve({PlainRow(1, "DOC", "Form1", "new", "2099-05-01 10:00:00"),
         PlainRow(2, "DOC", "Form2", "two", "2099-05-01 10:00:00")});
  EXPECT_EQ(Run("DOC"), 1);
  EXPECT_FALSE(std::filesystem::is_symlink(shablon + "Form1.doc"));
  EXPECT_EQ(ReadFile(shablon + "Form1.doc"), "new");
  EXPECT_EQ(ReadFile(shablon + "Form2.doc"), "two");
  EXPECT_EQ(FolderNames(settings.PathShablon),
            (std::vector<std::string>{"Form1.doc", "Form2.doc"}));
  for (const std::string& path : {outside, outside_staged}) {
    EXPECT_EQ(ReadFile(path), "outside");
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0444)) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("created")));
}
#endif

#ifndef _WIN32
// Another local user who may write the folder keeps planting a link at the predictable staging
// name, racing the loader between its removal of a leftover and its creation of the file: the
// loader never writes through it, and nothing outside changes.
TEST_F(GroupUpdate, StagingLinkPlantedByARacingThreadIsNeverFollowed) {
  const std::string shablon = settings.PathShablon + "/";
  const std::string outside = dir.Sub("outside.doc");
  WriteFile(outside, "outside");
  Serve({PlainRow(1, "DOC", "Form1", "new", "2099-05-01 10:00:00")});
  std::atomic<bool> done = false;
  std::thread planter([&] {
    while (!done) ::symlink(outside.c_str(), (shablon + StagingName("Form1.doc")).c_str());
  });
  for (int round = 0; round < 200; ++round) {
    std::filesystem::remove(shablon + "Form1.doc");
    Run("DOC");
    if (ReadFile(outside) != "outside" || std::filesystem::is_symlink(shablon + "Form1.doc")) {
      ADD_FAILURE() << "written through the planted link in round " << round;
      break;
    }
  }
  done = true;
  planter.join();
}

// A template that is a hard link of a read-only file outside the complex: the name is replaced,
// the file the other name keeps stays as it was, its mode too.
TEST_F(GroupUpdate, HardLinkOfAReadOnlyFileOutsideKeepsItsMode) {
  const std::string outside = dir.Sub("outside.doc");
  WriteFile(outside, "outside");
  ASSERT_EQ(::chmod(outside.c_str(), 0444), 0);
  std::filesystem::create_hard_link(outside, settings.PathShablon + "/Form1.doc");
  Serve({PlainRow(1, "DOC", "Form1", "new", "2099-05-01 10:00:00")});
  EXPECT_EQ(Run("DOC"), 1);
  EXPECT_EQ(ReadFile(settings.PathShablon + "/Form1.doc"), "new");
  EXPECT_EQ(ReadFile(outside), "outside");
  EXPECT_EQ(std::filesystem::status(outside).permissions(), std::filesystem::perms(0444));
}
#endif

TEST_F(GroupUpdate, MissingFolderOrFolderInTheWay) {
  std::filesystem::remove(Bin("swiftshader"));
  std::filesystem::create_directory(settings.PathShablon + "/Form1.doc");
  Serve({PlainRow(1, "SWI", "gl.dll", "gl", "2024-05-01 10:00:00"),
         PlainRow(2, "DOC", "Form1", "doc", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run("SWI"), 9);
  EXPECT_FALSE(platform::DirectoryExists(Bin("swiftshader")));
  EXPECT_EQ(Run("DOC"), 9);
  EXPECT_TRUE(platform::DirectoryExists(settings.PathShablon + "/Form1.doc"));
  EXPECT_EQ(FolderNames(settings.PathShablon), std::vector<std::string>{"Form1.doc"});
}

}  // namespace
}  // namespace nurv
