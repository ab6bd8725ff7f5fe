// Version keys, the date rule, result folding, the catalogue of modules and the stage frame.
#include <gtest/gtest.h>

#include <stdexcept>

#include "base/version_key.h"
#include "common/fake_ui.h"
#include "common/temp_dir.h"
#include "loader/catalogue_filter.h"
#include "loader/stage_frame.h"
#include "loader/update_files.h"
#include "loader/update_groups.h"
#include "loader/update_result.h"
#include "rules/module_catalogue.h"
#include "support/sevenzip_archive.h"
#include "update_fixture.h"

namespace nurv {
namespace {

using testing::Code;
using testing::FakeUi;
using testing::LocalTime;
using testing::Native;
using testing::TempDir;

TEST(VersionKey, PadsEachPartAndComparesAsText) {
  EXPECT_EQ(VersionKey("5.1.10.2"), "005001010002");
  EXPECT_EQ(VersionKey("5.1.9.2"), "005001009002");
  EXPECT_TRUE(IsNewer(VersionKey("5.1.9.2"), VersionKey("5.1.10.2")));
  EXPECT_FALSE(IsNewer(VersionKey("5.1.10.2"), VersionKey("5.1.10.2")));
  // A part of four digits is not padded further and loses at its tenth character.
  EXPECT_EQ(VersionKey("5.1.0.1000"), "0050010001000");
  EXPECT_FALSE(IsNewer(VersionKey("5.1.0.999"), VersionKey("5.1.0.1000")));
  // Fewer parts: a prefix is the smaller.
  EXPECT_EQ(VersionKey("5.1"), "005001");
  EXPECT_FALSE(IsNewer(VersionKey("5.1.0.0"), VersionKey("5.1")));
  // Empty parts pad to 000; a trailing dot adds none.
  EXPECT_EQ(VersionKey("1..2"), "001000002");
  EXPECT_EQ(VersionKey("3."), "003");
}

TEST(VersionKey, EmptyAvailableNeverNewerMissingInstalledAlwaysOlder) {
  EXPECT_EQ(VersionKey(""), "");
  EXPECT_FALSE(IsNewer("000000000000", VersionKey("")));
  const std::string none = VersionKey(FourPartVersion{});
  EXPECT_EQ(none, "000000000000");
  EXPECT_TRUE(IsNewer(none, VersionKey("0.0.0.1")));
  EXPECT_EQ(VersionKey(FourPartVersion{6, 2, 0, 65535}), "00600200065535");
}

TEST(DateRule, TrimsBothTimesToTheMinute) {
  TempDir dir;
  const std::string file = dir.Sub("f.txt");
  EXPECT_TRUE(DateRuleNeedsWrite(LocalTime(2024, 5, 1, 10, 15, 0), file)) << "missing file";
  testing::WriteFile(file, "x");
  testing::SetFileTime(file, LocalTime(2024, 5, 1, 10, 15, 1));
  // The row's 10:15:59 trims to the file's minute: nothing to write.
  EXPECT_FALSE(DateRuleNeedsWrite(LocalTime(2024, 5, 1, 10, 15, 0), file));
  testing::SetFileTime(file, LocalTime(2024, 5, 1, 10, 14, 59));
  EXPECT_TRUE(DateRuleNeedsWrite(LocalTime(2024, 5, 1, 10, 15, 0), file));
  testing::SetFileTime(file, LocalTime(2024, 5, 1, 10, 16, 0));
  EXPECT_FALSE(DateRuleNeedsWrite(LocalTime(2024, 5, 1, 10, 15, 0), file));
  // A folder is not the file: it always needs writing (and the write then fails).
  EXPECT_TRUE(DateRuleNeedsWrite(LocalTime(2000, 1, 1, 0, 0, 0), dir.path()));
}

// The result of the number `code`.
StageResult Result(int code) { return static_cast<StageResult>(code); }

TEST(UpdateResultFold, NineIsFinalOtherwiseTheLatestCode) {
  StageResult run = Result(0);
  FoldUpdateResult(run, Result(1));
  FoldUpdateResult(run, Result(0));
  EXPECT_EQ(Code(run), 0) << "the latest stage's code while nothing failed";
  FoldUpdateResult(run, Result(9));
  FoldUpdateResult(run, Result(1));
  FoldUpdateResult(run, Result(0));
  EXPECT_EQ(Code(run), 9);
  // A file written after an error leaves 9; the first written file gives 1.
  EXPECT_EQ(Code(Combined(Result(9), Result(1))), 9);
  EXPECT_EQ(Code(Combined(Result(0), Result(1))), 1);
}

TEST(CatalogueQueries, LiteralsDoubleQuotes) {
  EXPECT_EQ(db::SqlLiteral("PRG"), "'PRG'");
  EXPECT_EQ(db::SqlLiteral("a'b''"), "'a''b'''''");
  EXPECT_EQ(std::string(kModuleContentsQuery) + db::SqlLiteral("PRG"),
            "select * from UpdatesBLOB (nolock) where tdoc = 'PRG'");
  EXPECT_EQ(std::string(kGroupContentsQuery) + db::SqlLiteral("CXP"),
            "select * from UpdatesBLOB where tdoc = 'CXP'");
}

TEST(ModuleCatalogue, OrderOwnersAndPaths) {
  std::string dispatched, main_sequence, staged;
  for (const ModuleEntry& entry : ModuleCatalogue()) {
    if (entry.owner == StageOwner::Dispatcher) dispatched += std::string(entry.code) + " ";
    if (entry.owner == StageOwner::MainSequence) main_sequence += std::string(entry.code) + " ";
    if (entry.owner == StageOwner::SharedStage) continue;
    for (const ModuleEntry& module : StageModules(entry)) staged += std::string(module.code) + " ";
  }
  EXPECT_EQ(dispatched, "7z LDR PRG SSL1 BAT CHM PDF ");
  EXPECT_EQ(main_sequence, "CXP LXP SWI EXP DOC XLS ");
  // Every module runs in exactly one stage; SSL2 in SSL1's.
  EXPECT_EQ(staged, "7z LDR PRG SSL1 SSL2 BAT CHM PDF CXP LXP SWI EXP DOC XLS ");
  EXPECT_THROW(ModuleByCode("XYZ"), std::out_of_range);
  EXPECT_EQ(ModuleByCode("7z").file_name, SevenZipLibraryName());
  EXPECT_EQ(ModuleByCode("SSL2").heading, ModuleByCode("SSL1").heading);
  EXPECT_EQ(ModuleByCode("SWI").heading, "Обновление библиотек визуализация ...");
  EXPECT_EQ(ModuleByCode("SWI").status, "Выгрузка библиотек визуализация...");

  SettingsRecord settings;
  settings.PathProgram = Native("/opt/c/Bin/");
  settings.PathUpdate = Native("/opt/c/Update");
  settings.PathTemp = Native("/tmp/u");
  EXPECT_EQ(ModulePath(ModuleByCode("PRG"), settings), Native("/opt/c/Bin/nurv.exe"));
  EXPECT_EQ(ModulePath(ModuleByCode("LDR"), settings), Native("/opt/c/Update/NurvLoader.exe"));
  EXPECT_EQ(ModulePath(ModuleByCode("7z"), settings), Native("/tmp/u/") + SevenZipLibraryName());
  // Settings never filled: a path in the root folder, which the stage refuses (OwnedFolders).
  EXPECT_EQ(ModulePath(ModuleByCode("CHM"), settings), Native("/HelpNurv.chm"));
  EXPECT_EQ(ModuleFolderPrefix(ModuleByCode("LXP"), settings), Native("/opt/c/Bin/locales/"));
  EXPECT_EQ(ModuleFolderPrefix(ModuleByCode("CXP"), settings), Native("/opt/c/Bin/"));
}

TEST(GroupNames, SubFoldersAllowedEscapesRefused) {
  const std::string p = Native("/p/");
  EXPECT_EQ(GroupFileDestination(p, "a.dll", ""), Native("/p/a.dll"));
  EXPECT_EQ(GroupFileDestination(p, "Form1", ".doc"), Native("/p/Form1.doc"));
  EXPECT_EQ(GroupFileDestination(p, "sub\\b.dll", ""), Native("/p/sub/b.dll"));
  EXPECT_EQ(GroupFileDestination(p, "sub/../c.dll", ""), Native("/p/c.dll"));
  EXPECT_EQ(GroupFileDestination(p, "./x//y.pak", ""), Native("/p/x/y.pak"));
  for (const char* bad : {"../x.dll", "..\\x.dll", "/etc/passwd", "\\x.dll", "C:\\x.dll", "c:x",
                          "sub/../../x", "", "sub/", "sub/..", ".", ".."})
    EXPECT_THROW(GroupFileDestination(p, bad, ""), UnsafeNameError) << bad;
}

// A stage entry with its own texts for the frame tests.
const ModuleEntry& Stage() { return ModuleByCode("BAT"); }

TEST(StageFrame, SuffixByCodeFoldAndProgress) {
  struct Case {
    int code;
    const char* suffix;
  };
  for (const Case& c :
       {Case{1, " - OK"}, Case{9, " - ОШИБКА"}, Case{0, " - НЕ ТРЕБУЕТСЯ"}, Case{5, ""}}) {
    FakeUi ui;
    StageResult run = Result(1);
    RunStage(ui, Stage(), run, [&] {
      ui.AddLogLine("--> detail");
      return Result(c.code);
    });
    const std::vector<std::string> expected{"", "Обновление BAT файла...", "--> detail",
                                            std::string(" -> Выгрузка BAT файла") + c.suffix};
    EXPECT_EQ(ui.Log(), expected);
    EXPECT_EQ(ui.statuses, std::vector<std::string>{"Выгрузка BAT файла..."});
    EXPECT_EQ(Code(run), c.code);
    EXPECT_EQ(ui.ProgressPosition(), 1);
  }
}

TEST(StageFrame, EscapingErrorEndsTheStageAndCountsAsAnError) {
  FakeUi ui;
  StageResult run = Result(1);
  // Whatever the operation had written before it failed, the stage failed.
  const StageResult stage =
      RunStage(ui, Stage(), run, []() -> StageResult { throw std::runtime_error("boom"); });
  ASSERT_EQ(ui.Log().size(), 4u);
  EXPECT_EQ(ui.Log()[2], " -> Выгрузка BAT файла - ОШИБКА");
  EXPECT_EQ(ui.Log()[3], "[boom]");
  EXPECT_EQ(Code(stage), 9);
  EXPECT_EQ(Code(run), 9);
  EXPECT_EQ(ui.ProgressPosition(), 1);
  RunStage(ui, Stage(), run, [] { return Result(1); });
  EXPECT_EQ(Code(run), 9);
  EXPECT_EQ(ui.Log().back(), " -> Выгрузка BAT файла - OK");
  EXPECT_EQ(ui.ProgressPosition(), 2);
}

}  // namespace
}  // namespace nurv
