// The dispatcher of the single modules on a real update table.
#include <gtest/gtest.h>

#include "common/pe_builder.h"
#include "loader/load_update.h"
#include "update_fixture.h"

namespace nurv {
namespace {

using namespace testing;

class Dispatcher : public UpdateTest {
 protected:
  int Run(int update_result) {
    auto run = static_cast<StageResult>(update_result);
    LoadUpdate(Ctx(), run);
    return Code(run);
  }
  // Lines of the log from the heading of `heading` to its stage line.
  std::vector<std::string> StageLines(const std::string& heading) {
    const auto& log = ui.Log();
    auto it = std::find(log.begin(), log.end(), heading);
    std::vector<std::string> lines;
    for (; it != log.end() && (lines.empty() || !it->empty()); ++it) lines.push_back(*it);
    return lines;
  }
};

TEST_F(Dispatcher, NothingToUpdate) {
  Serve({});
  EXPECT_EQ(Run(1), 0);
  const std::vector<std::string> expected{
      "",
      "ЗАГРУЗКА ОБНОВЛЕНИЯ...",
      "",
      "Обновление библиотеки 7z...",
      " -> Выгрузка библиотеки 7z - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление загрузчика...",
      " -> Выгрузка загрузчика - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление исполняемого модуля...",
      " -> Выгрузка исполняемого модуля - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление SSL библиотек...",
      " -> Выгрузка SSL библиотек - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление BAT файла...",
      " -> Выгрузка BAT файла - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление файла помощи...",
      " -> Выгрузка файла помощи - НЕ ТРЕБУЕТСЯ",
      "",
      "Обновление файла помощи в формате Acrobat Reader...",
      " -> Выгрузка файла помощи в формате Acrobat Reader - НЕ ТРЕБУЕТСЯ"};
  EXPECT_EQ(ui.Log(), expected);
  EXPECT_EQ(ui.statuses.size(), 7u);
  EXPECT_EQ(ui.Status(), "Выгрузка файла помощи в формате Acrobat Reader...");
  EXPECT_EQ(ui.ProgressPosition(), 14);
  EXPECT_EQ(Run(9), 9);
}

TEST_F(Dispatcher, ErrorsStayInTheirStageAndMarkTheRun) {
  NURV_REQUIRE_SEVENZIP();
  const std::string exe = BuildPeFile({5, 1, 10, 2}, {5, 1, 10, 2});
  UpdateRow prg;
  prg.vcode = 1;
  prg.tdoc = "PRG";
  prg.version = "5.1.10.2";
  prg.caption = static_cast<std::int64_t>(Crc32Of(exe));
  prg.updatedate = "2024-05-01 10:00:00";
  prg.fblob = Make7z(dir, "nurv.exe", exe);
  UpdateRow ldr = prg;
  ldr.vcode = 2;
  ldr.tdoc = "LDR";
  ldr.fblob = Make7z(dir, "NurvLoader.exe", exe);
  UpdateRow pdf = prg;
  pdf.vcode = 3;
  pdf.tdoc = "PDF";
  pdf.updatedate.reset();  // cannot be decided: escapes the operation
  Serve({ldr, prg, pdf, PlainRow(4, "CHM", "", "chm", "2024-05-01 10:00:00")});
  settings.PathUpdate = dir.Sub("NoUpdateFolder");
  EXPECT_EQ(Run(0), 9);
  const std::string copy_line = "--> ОШИБКА выгрузки. Не удалось скопировать файл [" +
                                Native(settings.PathTemp + "/NurvLoader.exe") + "] в: [" +
                                Native(settings.PathUpdate + "/NurvLoader.exe") + "]";
  EXPECT_EQ(StageLines("Обновление загрузчика..."),
            (std::vector<std::string>{"Обновление загрузчика...", copy_line,
                                      " -> Выгрузка загрузчика - ОШИБКА"}));
  EXPECT_EQ(StageLines("Обновление исполняемого модуля...").back(),
            " -> Выгрузка исполняемого модуля - OK");
  EXPECT_EQ(ReadFile(Bin("nurv.exe")), exe);
  EXPECT_EQ(StageLines("Обновление файла помощи...").back(), " -> Выгрузка файла помощи - OK");
  const auto pdf_lines = StageLines("Обновление файла помощи в формате Acrobat Reader...");
  ASSERT_EQ(pdf_lines.size(), 3u);
  EXPECT_EQ(pdf_lines[1], " -> Выгрузка файла помощи в формате Acrobat Reader - ОШИБКА");
  EXPECT_EQ(pdf_lines[2].front(), '[');
  EXPECT_EQ(ui.ProgressPosition(), 14);
  EXPECT_TRUE(FolderNames(settings.PathTemp).empty());
}

TEST_F(Dispatcher, ErrorEscapingAfterAWrittenFileMarksTheRun) {
  NURV_REQUIRE_SEVENZIP();
  const std::string lib = BuildPeFile({1, 0, 2, 0}, {1, 0, 2, 0});
  UpdateRow ssl1;
  ssl1.vcode = 1;
  ssl1.tdoc = "SSL1";
  ssl1.version = "1.0.2.0";
  ssl1.caption = static_cast<std::int64_t>(Crc32Of(lib));
  ssl1.fblob = Make7z(dir, "libeay32.dll", lib);
  UpdateRow ssl2 = ssl1;
  ssl2.vcode = 2;
  ssl2.tdoc = "SSL2";
  Serve({ssl1, ssl2});
  // The second row's version is not text: the run of SSL2 fails after SSL1 was written.
  Sql("UPDATE UpdatesBLOB SET version = X'312E30' WHERE tdoc = 'SSL2'");
  catalogue = connection->OpenDataset(std::string(kCatalogueQuery));
  EXPECT_EQ(Run(0), 9) << "the later stages, not needed, must not hide the failed one";
  EXPECT_EQ(ReadFile(Bin("libeay32.dll")), lib);
  const auto ssl_lines = StageLines("Обновление SSL библиотек...");
  ASSERT_EQ(ssl_lines.size(), 3u);
  EXPECT_EQ(ssl_lines[1], " -> Выгрузка SSL библиотек - ОШИБКА");
  EXPECT_EQ(ssl_lines[2].front(), '[');
}

TEST_F(Dispatcher, LatestCodeWinsWhileNothingFailed) {
  Serve({PlainRow(1, "BAT", "", "bat", "2024-05-01 10:00:00")});
  EXPECT_EQ(Run(0), 0) << "BAT wrote (1), the later stages were not needed";
  EXPECT_EQ(ReadFile(Bin("nurvrun.bat")), "bat");
  EXPECT_EQ(StageLines("Обновление BAT файла...").back(), " -> Выгрузка BAT файла - OK");
}

}  // namespace
}  // namespace nurv
