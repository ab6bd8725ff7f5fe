// Loaders started at the same moment on one complex (a double click, a script run twice).
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_fixture.h"

namespace nurv::testing {
namespace {

TEST_F(CliTest, LoadersStartedTogetherRunOneAfterAnother) {
  const MainPrograms& programs = MainPrograms::Get();
  UpdateRow prg = FileRow(1, "PRG", "nurv.exe", programs.NewBytes(), "2024-03-01 10:00:00");
  prg.fblob = programs.NewArchive();
  prg.version = "5.1.10.2";
  CreateUpdateDatabase(complex_.Db(), {prg, VersionRow(2, "LDR", "6.3.0.0")});
  complex_.registry().Clear();  // a fresh profile

  constexpr int kLoaders = 3;
  std::vector<StartedCli> started;
  for (int i = 0; i < kLoaders; ++i) started.push_back(StartCli({}, "cli" + std::to_string(i)));
  int first_runs = 0;
  int updates = 0;
  for (const StartedCli& one : started) {
    const CliRun run = FinishCli(one);
    EXPECT_EQ(run.status, 0) << run.err << Joined(run.out);
    // Each found the registry complete, whoever wrote it.
    EXPECT_TRUE(Contains(run.out, "Считывание реестра  - OK")) << Joined(run.out);
    EXPECT_TRUE(Contains(run.out, "Соединение с сервером: [" + Server() + "], БД: [demo] - OK"));
    const auto start = std::find(run.out.begin(), run.out.end(), "Запуск НУРВ-Комплекс...");
    EXPECT_TRUE(start != run.out.end() && start + 1 != run.out.end() && start[1] == "OK")
        << "the main program was not started" << Joined(run.out);
    first_runs += Contains(run.out, "Наличие записи в реестре - Отсутствует");
    updates += Contains(run.out, " -> Выгрузка исполняемого модуля - OK");
  }
  EXPECT_EQ(first_runs, 1);
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(ReadFile(complex_.Bin() + "nurv.exe"), programs.NewBytes());
}

}  // namespace
}  // namespace nurv::testing
