// Archived-module updates: real 7z archives made by the `7z` command, unpacked through the real
// 7-Zip library, PE files with real version resources.
#include <gtest/gtest.h>

#include "common/pe_builder.h"
#include "loader/module_stage.h"
#include "loader/update_archived.h"
#include "update_fixture.h"

namespace nurv {
namespace {

using namespace testing;

FourPartVersion V(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
  return {a, b, c, d};
}

class ArchivedUpdate : public UpdateTest {
 protected:
  void SetUp() override { NURV_REQUIRE_SEVENZIP(); }

  std::string exe = Bin("nurv.exe");
  std::string new_exe = BuildPeFile(V(5, 1, 10, 2), V(1, 0, 0, 0));
  std::string old_exe = BuildPeFile(V(5, 1, 9, 2), V(1, 0, 0, 0));

  UpdateRow ArchiveRow(std::int64_t vcode, const std::string& tdoc, const std::string& item,
                       const std::string& bytes, const std::string& version) {
    UpdateRow row;
    row.vcode = vcode;
    row.tdoc = tdoc;
    row.version = version;
    row.caption = static_cast<std::int64_t>(Crc32Of(bytes));
    row.updatedate = "2024-05-01 10:15:30";
    row.fblob = Make7z(dir, item, bytes);
    return row;
  }
  int RunPrg() { return Code(UpdateArchivedModule(Ctx(), ModuleByCode("PRG"))); }
  void ExpectTempEmpty() {
    EXPECT_TRUE(FolderNames(settings.PathTemp).empty())
        << "left in the temporary folder: "
        << ::testing::PrintToString(FolderNames(settings.PathTemp));
  }
  void ExpectOldExe() {
    EXPECT_EQ(ReadFile(exe), old_exe);
    EXPECT_EQ(FolderNames(settings.PathProgram),
              (std::vector<std::string>{"locales", "nurv.exe", "swiftshader"}));
  }
};

TEST_F(ArchivedUpdate, NewerVersionReplacesTheModule) {
  WriteFile(exe, old_exe);
  Serve({ArchiveRow(1, "PRG", "nurv.exe", new_exe, "5.1.10.2")});
  EXPECT_EQ(RunPrg(), 1);
  EXPECT_EQ(ReadFile(exe), new_exe);
  EXPECT_TRUE(ui.Log().empty());
  EXPECT_EQ(ui.waits, (std::vector<std::int32_t>{1000, 1000, 2000, 1000}));
  ExpectTempEmpty();
  // Installed now equals the row: nothing more.
  ui.waits.clear();
  EXPECT_EQ(RunPrg(), 0);
  EXPECT_TRUE(ui.waits.empty());
}

TEST_F(ArchivedUpdate, MissingModuleIsWrittenAndLeftoversAreCleared) {
  Serve({ArchiveRow(1, "PRG", "nurv.exe", new_exe, "5.1.10.2")});
  WriteFile(settings.PathTemp + "/nurv.7z", "leftover");
  WriteFile(settings.PathTemp + "/nurv.exe", "leftover");
  EXPECT_EQ(RunPrg(), 1);
  EXPECT_EQ(ReadFile(exe), new_exe);
  ExpectTempEmpty();
}

TEST_F(ArchivedUpdate, EqualOrNewerInstalledWritesNothingButCleans) {
  WriteFile(exe, new_exe);
  Serve({ArchiveRow(1, "PRG", "nurv.exe", old_exe, "5.1.9.2")});
  WriteFile(settings.PathTemp + "/nurv.7z", "leftover");
  EXPECT_EQ(RunPrg(), 0);
  EXPECT_EQ(ReadFile(exe), new_exe);
  ExpectTempEmpty();
  // A NULL or empty version is never newer.
  UpdateRow no_version = ArchiveRow(1, "PRG", "nurv.exe", new_exe, "");
  Serve({no_version});
  std::filesystem::remove(exe);
  EXPECT_EQ(RunPrg(), 0);
  no_version.version.reset();
  Serve({no_version});
  EXPECT_EQ(RunPrg(), 0);
  EXPECT_FALSE(platform::FileExists(exe));
}

TEST_F(ArchivedUpdate, BadChecksumLeavesTheInstalledModule) {
  for (const auto& caption :
       {decltype(UpdateRow{}.caption){std::string()},
        decltype(UpdateRow{}.caption){std::string("x")},
        decltype(UpdateRow{}.caption){std::int64_t{77}}, UpdateRow{}.caption}) {
    WriteFile(exe, old_exe);
    UpdateRow row = ArchiveRow(1, "PRG", "nurv.exe", new_exe, "5.1.10.2");
    row.caption = caption;
    Serve({row});
    ui.ClearLog();
    EXPECT_EQ(RunPrg(), 9);
    EXPECT_EQ(ui.Log(),
              std::vector<std::string>{"--> ОШИБКА выгрузки. Контрольная сумма файла [" +
                                       Native(settings.PathTemp + "/nurv.exe") + "] не верна"});
    ExpectOldExe();
    ExpectTempEmpty();
  }
}

// 7-Zip's own check of the item counts even when `caption` is the checksum of what came out.
TEST_F(ArchivedUpdate, DataFailingTheLibrarysCheckLeavesTheInstalledModule) {
  WriteFile(exe, old_exe);
  const std::string work = dir.Sub("stored");
  std::filesystem::create_directories(Utf8Path(work));
  WriteFile(work + "/nurv.exe", new_exe);
  ASSERT_TRUE(Run7z(work, "a -y -bso0 -bsp0 -mx0 item.7z nurv.exe"));
  // Stored as it is, the item follows the archive's 32-byte start header.
  std::string archive = ReadFile(work + "/item.7z");
  std::string damaged = new_exe;
  damaged[100] ^= 1;
  archive[32 + 100] ^= 1;
  ASSERT_EQ(archive.substr(32, damaged.size()), damaged);
  UpdateRow row = ArchiveRow(1, "PRG", "nurv.exe", new_exe, "5.1.10.2");
  row.fblob = archive;
  row.caption = static_cast<std::int64_t>(Crc32Of(damaged));
  Serve({row});
  EXPECT_EQ(RunPrg(), 9);
  EXPECT_EQ(ui.Log(),
            std::vector<std::string>{"--> ОШИБКА выгрузки. Данные архива [" +
                                     Native(settings.PathTemp + "/nurv.7z") + "] повреждены"});
  ExpectOldExe();
  ExpectTempEmpty();
}

TEST_F(ArchivedUpdate, FirstItemNamedOtherwiseIsNotTheUpdate) {
  WriteFile(exe, old_exe);
  Serve({ArchiveRow(1, "PRG", "other.exe", new_exe, "5.1.10.2")});
  EXPECT_EQ(RunPrg(), 9);
  const std::string unpacked = Native(settings.PathTemp + "/nurv.exe");
  EXPECT_EQ(ui.Log(),
            (std::vector<std::string>{
                "--> ОШИБКА выгрузки. Файл обновления не найден: [" + unpacked + "]",
                "--> ОШИБКА выгрузки. Контрольная сумма файла [" + unpacked + "] не верна"}));
  // The checksum of the missing file is shown as the failure it is.
  EXPECT_EQ(ui.message_boxes,
            std::vector<std::string>{"При вычислении контрольной суммы файла [" + unpacked +
                                     "] возникла oшибка [No such file or directory]"});
  ExpectOldExe();
  ExpectTempEmpty();
}

TEST_F(ArchivedUpdate, FirstItemThatIsAFolderLeavesNothingBehind) {
  WriteFile(exe, old_exe);
  const std::string work = dir.Sub("7zdir");
  std::filesystem::create_directories(Utf8Path(work + "/nurv.exe"));
  WriteFile(work + "/nurv.exe/inner", "inner");
  ASSERT_TRUE(Run7z(work, "a -y -bso0 -bsp0 item.7z nurv.exe"));
  UpdateRow row = ArchiveRow(1, "PRG", "nurv.exe", new_exe, "5.1.10.2");
  const UpdateRow good = row;
  row.fblob = ReadFile(work + "/item.7z");
  Serve({row});
  EXPECT_EQ(RunPrg(), 9);
  ASSERT_FALSE(ui.Log().empty());
  EXPECT_EQ(ui.Log()[0], "--> ОШИБКА выгрузки. Файл обновления не найден: [" +
                             Native(settings.PathTemp + "/nurv.exe") + "]");
  ExpectOldExe();
  ExpectTempEmpty();
  // A folder of the module's name left by an older run goes in the pre-clean.
  std::filesystem::create_directories(Utf8Path(settings.PathTemp + "/nurv.exe/sub"));
  WriteFile(settings.PathTemp + "/nurv.exe/sub/f", "f");
  Serve({good});
  ui.ClearLog();
  EXPECT_EQ(RunPrg(), 1);
  EXPECT_TRUE(ui.Log().empty());
  EXPECT_EQ(ReadFile(exe), new_exe);
  ExpectTempEmpty();
}

TEST_F(ArchivedUpdate, CorruptArchiveOrNullBlob) {
  WriteFile(exe, old_exe);
  UpdateRow corrupt = ArchiveRow(1, "PRG", "nurv.exe", new_exe, "5.1.10.2");
  corrupt.fblob = corrupt.fblob->substr(0, corrupt.fblob->size() / 2) + std::string(64, 'x');
  Serve({corrupt});
  EXPECT_EQ(RunPrg(), 9);
  EXPECT_EQ(ui.Log().front(), "--> ОШИБКА выгрузки. Файл обновления не найден: [" +
                                  Native(settings.PathTemp + "/nurv.exe") + "]");
  ExpectOldExe();
  ExpectTempEmpty();

  UpdateRow null_blob = corrupt;
  null_blob.fblob.reset();
  Serve({null_blob});
  ui.ClearLog();
  ui.waits.clear();
  EXPECT_EQ(RunPrg(), 9);
  EXPECT_EQ(ui.Log().size(), 2u);
  EXPECT_TRUE(ui.waits.empty()) << "no archive written, no copy";
  ExpectOldExe();
}

TEST_F(ArchivedUpdate, FailingContentsQueryStillUnpacksAndCleans) {
  WriteFile(exe, old_exe);
  Serve({ArchiveRow(1, "PRG", "nurv.exe", new_exe, "5.1.10.2")});
  Sql("DROP TABLE UpdatesBLOB");
  EXPECT_EQ(RunPrg(), 9);
  ASSERT_EQ(ui.Log().size(), 4u);
  EXPECT_EQ(ui.Log()[0],
            "--> ОШИБКА выгрузки файла: [" + Native(settings.PathTemp + "/nurv.7z") + "]");
  EXPECT_EQ(ui.Log()[1].front(), '[');
  EXPECT_EQ(ui.Log()[2], "--> ОШИБКА выгрузки. Файл обновления не найден: [" +
                             Native(settings.PathTemp + "/nurv.exe") + "]");
  ExpectOldExe();
  ExpectTempEmpty();
}

TEST_F(ArchivedUpdate, CopyFailuresKeepTheOldModule) {
  Serve({ArchiveRow(1, "PRG", "nurv.exe", new_exe, "5.1.10.2")});
  // A folder in the way of the module.
  std::filesystem::create_directory(exe);
  EXPECT_EQ(RunPrg(), 9);
  EXPECT_EQ(ui.Log(), std::vector<std::string>{
                          "--> ОШИБКА выгрузки. Не удалось скопировать файл [" +
                          Native(settings.PathTemp + "/nurv.exe") + "] в: [" + exe + "]"});
  EXPECT_TRUE(platform::DirectoryExists(exe));
  ExpectTempEmpty();
  // The program folder is missing: never created.
  settings.PathProgram = dir.Sub("Missing") + platform::kPathDelim;
  ui.ClearLog();
  EXPECT_EQ(RunPrg(), 9);
  EXPECT_EQ(ui.Log().size(), 1u);
  EXPECT_FALSE(platform::DirectoryExists(dir.Sub("Missing")));
  ExpectTempEmpty();
}

TEST_F(ArchivedUpdate, LoaderModuleGoesToTheUpdateFolderOnly) {
  const std::string loader = BuildPeFile(V(6, 3, 0, 1), V(6, 3, 0, 1));
  WriteFile(Bin("NurvLoader.exe"), "running loader");
  Serve({ArchiveRow(1, "LDR", "NurvLoader.exe", loader, "6.3.0.1")});
  int result = Code(UpdateArchivedModule(Ctx(), ModuleByCode("LDR")));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFile(settings.PathUpdate + "/NurvLoader.exe"), loader);
  EXPECT_EQ(ReadFile(Bin("NurvLoader.exe")), "running loader");
  // The version rule reads the copy in the update folder.
  result = Code(UpdateArchivedModule(Ctx(), ModuleByCode("LDR")));
  EXPECT_EQ(result, 0);
}

TEST_F(ArchivedUpdate, HelpPdfByDateStampedToTheMinute) {
  const std::string pdf = settings.PathHelp + "/HelpNurv.pdf";
  UpdateRow row = ArchiveRow(1, "PDF", "HelpNurv.pdf", "%PDF-1.4 help", "");
  Serve({row});
  int result = Code(UpdateArchivedModule(Ctx(), ModuleByCode("PDF")));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFile(pdf), "%PDF-1.4 help");
  EXPECT_EQ(FileTime(pdf), LocalTime(2024, 5, 1, 10, 15, 0));
  result = Code(UpdateArchivedModule(Ctx(), ModuleByCode("PDF")));
  EXPECT_EQ(result, 0);
  // A NULL updatedate cannot be decided: the error goes to the stage frame.
  row.updatedate.reset();
  Serve({row});
  WriteFile(settings.PathTemp + "/HelpNurv.7z", "leftover");
  EXPECT_THROW(UpdateArchivedModule(Ctx(), ModuleByCode("PDF")), db::ConversionError);
  ExpectTempEmpty();
}

TEST_F(ArchivedUpdate, SslStageFoldsBothRuns) {
  const std::string lib1 = BuildPeFile(V(1, 0, 2, 0), V(1, 0, 2, 0));
  const std::string lib2 = BuildPeFile(V(1, 0, 2, 0), V(1, 0, 2, 0));
  int result = -1;
  // Both current: 0.
  WriteFile(Bin("libeay32.dll"), lib1);
  WriteFile(Bin("ssleay32.dll"), lib2);
  Serve({ArchiveRow(1, "SSL1", "libeay32.dll", lib1, "1.0.2.0"),
         ArchiveRow(2, "SSL2", "ssleay32.dll", lib2, "1.0.2.0")});
  result = Code(UpdateStageModules(Ctx(), ModuleByCode("SSL1")));
  EXPECT_EQ(result, 0);
  // The first written, the second current: 1 (the second run alone would say 0).
  std::filesystem::remove(Bin("libeay32.dll"));
  result = Code(UpdateStageModules(Ctx(), ModuleByCode("SSL1")));
  EXPECT_EQ(result, 1);
  // The first failed, the second written: 9.
  std::filesystem::remove(Bin("ssleay32.dll"));
  std::filesystem::remove(Bin("libeay32.dll"));
  UpdateRow bad = ArchiveRow(1, "SSL1", "libeay32.dll", lib1, "1.0.2.0");
  bad.caption = std::int64_t{5};
  Serve({bad, ArchiveRow(2, "SSL2", "ssleay32.dll", lib2, "1.0.2.0")});
  result = Code(UpdateStageModules(Ctx(), ModuleByCode("SSL1")));
  EXPECT_EQ(result, 9);
  EXPECT_TRUE(platform::FileExists(Bin("ssleay32.dll")));
  ExpectTempEmpty();
}

TEST(ArchivedPaths, ExtensionOfTheFileNameOnly) {
  EXPECT_EQ(ArchivePath(Native("/t"), "nurv.exe"), Native("/t/nurv.7z"));
  EXPECT_EQ(ArchivePath(Native("/t.exe.d"), "NurvLoader.exe"), Native("/t.exe.d/NurvLoader.7z"));
  EXPECT_EQ(UnpackedPath(Native("/t"), "HelpNurv.pdf"), Native("/t/HelpNurv.pdf"));
}

}  // namespace
}  // namespace nurv
