// The folders the update engine owns: every stage of the module catalogue refuses an unknown
// folder, and every path outside the owned folders, before it touches any file.
#include "loader/owned_folders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "loader/module_stage.h"
#include "loader/update_archived.h"
#include "loader/update_groups.h"
#include "loader/update_plain.h"
#include "platform/system_info.h"
#include "rules/module_catalogue.h"
#include "update_fixture.h"

namespace nurv {
namespace {

using namespace testing;

// Every file and folder below `folder`, sorted.
std::vector<std::string> Tree(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::recursive_directory_iterator(Utf8Path(folder)))
    names.push_back(Utf8Text(item.path()));
  std::sort(names.begin(), names.end());
  return names;
}

// Runs the process in `folder` for the scope: a relative path would land there.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(Utf8Path(folder));
  }
  ~CurrentFolder() { std::filesystem::current_path(saved_); }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::filesystem::path saved_;
};

std::string& Setting(SettingsRecord& settings, FolderKind kind) {
  switch (kind) {
    case FolderKind::Program:
      return settings.PathProgram;
    case FolderKind::Update:
      return settings.PathUpdate;
    case FolderKind::Help:
      return settings.PathHelp;
    case FolderKind::Templates:
      return settings.PathShablon;
    case FolderKind::Temp:
      break;
  }
  return settings.PathTemp;
}

class OwnedFolderStages : public UpdateTest {
 protected:
  // A newer row for every code of the catalogue.
  void ServeEveryCode() {
    std::vector<UpdateRow> rows;
    for (const ModuleEntry& entry : ModuleCatalogue()) {
      UpdateRow row =
          PlainRow(static_cast<std::int64_t>(rows.size() + 1), std::string(entry.code),
                   entry.form == ModuleForm::Group ? "f.dat" : "", "bytes", "2024-05-01 10:00:00");
      row.version = "9.9.9.9";
      rows.push_back(row);
    }
    Serve(rows);
  }
  // The entry's stage as the loader runs it; the 7-Zip library counts as missing from the system.
  int RunStage(const ModuleEntry& entry) {
    system_folder = dir.Sub("System");
    return Code(UpdateStageModules(Ctx(), entry));
  }
  std::string cwd = dir.Sub("cwd");
};

TEST_F(OwnedFolderStages, UnknownFolderFailsEveryStageThatNeedsIt) {
  std::filesystem::create_directories(Utf8Path(dir.Sub("System")));
  std::filesystem::create_directories(Utf8Path(cwd));
  CurrentFolder in_cwd(cwd);
  ServeEveryCode();
  const SettingsRecord good = settings;
  const std::vector<std::string> complex = Tree(dir.path());
  const std::vector<std::string> root = FolderNames(Native("/"));
  for (const ModuleEntry& entry : ModuleCatalogue()) {
    if (entry.owner == StageOwner::SharedStage) continue;  // SSL2 runs inside the SSL1 stage
    std::vector<FolderKind> needed{entry.folder};
    if (entry.form == ModuleForm::Archive) needed.push_back(FolderKind::Temp);
    for (const FolderKind kind : needed) {
      for (const char* value : {"", "rel"}) {
        SCOPED_TRACE(std::string(entry.code) + " " + std::string(FolderSettingName(kind)) + "=" +
                     value);
        settings = good;
        Setting(settings, kind) = value;
        ui.ClearLog();
        EXPECT_EQ(RunStage(entry), 9);
        ASSERT_FALSE(ui.Log().empty());
        for (const std::string& line : ui.Log())
          EXPECT_EQ(line, "--> ОШИБКА! Папка выгрузки не задана: [" +
                              std::string(FolderSettingName(kind)) + "]");
        EXPECT_EQ(Tree(dir.path()), complex);
        EXPECT_EQ(FolderNames(Native("/")), root);
      }
    }
  }
  // A stage without rows has nothing to place: no folder needed.
  Serve({});
  settings = good;
  settings.PathHelp.clear();
  ui.ClearLog();
  int result = Code(UpdatePlainModule(Ctx(), ModuleByCode("CHM")));
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(ui.Log().empty());
}

TEST_F(OwnedFolderStages, PathsOutsideAreRefused) {
  const OwnedFolders owned(settings);
  EXPECT_NO_THROW(owned.Check(Bin("locales/ru.pak")));
  EXPECT_NO_THROW(owned.Check(Native(settings.PathTemp + "/sub/../nurv.7z")));
  for (const std::string& outside : {Native(dir.Sub("Bin2/x.dll")), Native(Bin("../x.dll")),
                                     settings.PathHelp, Native(settings.PathHelp + "/."),
                                     dir.Sub("updates.db"), std::string("x.dll"), std::string()}) {
    EXPECT_THROW(owned.Check(outside), ForbiddenPathError) << outside;
  }
  try {
    owned.Check(Native("/x"));
    ADD_FAILURE() << "accepted";
  } catch (const ForbiddenPathError& e) {
    EXPECT_STREQ(e.what(), ("Путь вне папок комплекса: [" + Native("/x") + "]").c_str());
  }

  // Every single module's routine, given a destination that leads out of the program folder.
  const std::string outside = dir.Sub("Outside");
  std::filesystem::create_directories(Utf8Path(outside));
  WriteFile(outside + platform::kPathDelim + "keep", "keep");
  ServeEveryCode();
  for (const ModuleEntry& entry : ModuleCatalogue()) {
    if (entry.form == ModuleForm::Group) continue;
    SCOPED_TRACE(entry.code);
    const std::string name(entry.file_name);
    const std::string destination = Bin(Native("../Outside/") + name);
    const std::string archive = ArchivePath(settings.PathTemp, name);
    ui.ClearLog();
    int result = -1;
    if (entry.form == ModuleForm::Plain) {
      result = Code(UpdatePlainFile(Ctx(), entry, destination));
      EXPECT_EQ(ui.Log(),
                (std::vector<std::string>{"ОШИБКА выгрузки файла: " + destination,
                                          "[Путь вне папок комплекса: [" + destination + "]]"}));
    } else {
      result = Code(UpdateArchivedFile(Ctx(), entry, destination));
      EXPECT_EQ(ui.Log(),
                (std::vector<std::string>{"--> ОШИБКА выгрузки файла: [" + archive + "]",
                                          "[Путь вне папок комплекса: [" + destination + "]]"}));
    }
    EXPECT_EQ(result, 9);
    EXPECT_EQ(FolderNames(outside), std::vector<std::string>{"keep"});
    EXPECT_TRUE(FolderNames(settings.PathTemp).empty());
  }
}

#ifndef _WIN32
// A folder of the complex that is a link to another place leads outside, whichever folder it is:
// a browser sub-folder, a sub-folder a group row names, an owned folder itself.
TEST_F(OwnedFolderStages, FoldersLinkedElsewhereLeadOutside) {
  const std::string outside = dir.Sub("Outside");
  std::filesystem::create_directories(outside);
  struct Case {
    const char* link;  // made a link to Outside
    const char* code;
    const char* name;
    std::string destination;
  };
  const std::vector<Case> cases = {
      {"Bin/locales", "LXP", "ru.pak", Bin("locales/ru.pak")},
      {"Bin/CEF", "CXP", "CEF/libcef.dll", Bin("CEF/libcef.dll")},
      {"Help", "CHM", "", dir.Sub("Help/HelpNurv.chm")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    std::filesystem::remove_all(dir.Sub(c.link));
    std::filesystem::create_directory_symlink(outside, dir.Sub(c.link));
    Serve({PlainRow(1, c.code, c.name, "bytes", "2024-05-01 10:00:00")});
    ui.ClearLog();
    const ModuleEntry& entry = ModuleByCode(c.code);
    const int result = Code(entry.form == ModuleForm::Group ? UpdateFileGroup(Ctx(), entry)
                                                            : UpdatePlainModule(Ctx(), entry));
    EXPECT_EQ(result, 9);
    EXPECT_THAT(ui.Log(),
                ::testing::Contains("[Путь вне папок комплекса: [" + c.destination + "]]"));
    EXPECT_TRUE(FolderNames(outside).empty());
    std::filesystem::remove(dir.Sub(c.link));
    std::filesystem::create_directory(dir.Sub(c.link));
  }
}
#endif

TEST_F(OwnedFolderStages, LoaderFilesAreNeverReplaced) {
  std::vector<std::string> names{"nurvloader-cli", "NurvLoader", "NurvLoader.exe"};
#ifdef _WIN32
  names.insert(names.end(), {"nurvloader-cli.exe", "NURVLOADER.EXE"});
#else
  // The running loader under another name: the same file.
  std::filesystem::create_symlink(platform::OwnExecutablePath(), Bin("loader-link"));
  names.push_back("loader-link");
#endif
  std::vector<UpdateRow> rows;
  for (const std::string& name : names) {
    if (!platform::FileExists(Bin(name))) WriteFile(Bin(name), "loader");
    // Newer than any file, the running loader's too.
    rows.push_back(PlainRow(static_cast<std::int64_t>(rows.size() + 1), "CXP", name, "evil",
                            "2099-05-01 10:00:00"));
  }
  rows.push_back(PlainRow(90, "CXP", "nurv.exe", "main", "2024-05-01 10:00:00"));
  rows.push_back(PlainRow(91, "BAT", "", "evil", "2099-05-01 10:00:00"));
  UpdateRow loader = PlainRow(92, "LDR", "", "evil", "2024-05-01 10:00:00");
  loader.version = "9.9.9.9";
  rows.push_back(loader);
  Serve(rows);
  const auto refused = [](const std::string& path) {
    return "[Запись заменяет файл загрузчика: [" + path + "]]";
  };

  int result = Code(UpdateFileGroup(Ctx(), ModuleByCode("CXP")));
  EXPECT_EQ(result, 9);
  std::vector<std::string> expected;
  for (const std::string& name : names)
    expected.insert(expected.end(),
                    {"ОШИБКА выгрузки файла: [" + Bin(name) + "]", refused(Bin(name))});
  expected.push_back("nurv.exe");
  EXPECT_EQ(ui.Log(), expected);
  for (const std::string& name : names) EXPECT_NE(ReadFile(Bin(name)), "evil") << name;
  EXPECT_EQ(ReadFile(Bin("nurv.exe")), "main");

  const std::string own_name = Bin("NurvLoader.exe");
  ui.ClearLog();
  result = Code(UpdatePlainFile(Ctx(), ModuleByCode("BAT"), own_name));
  EXPECT_EQ(result, 9);
  EXPECT_EQ(ui.Log(),
            (std::vector<std::string>{"ОШИБКА выгрузки файла: " + own_name, refused(own_name)}));

  // The update folder is the program folder.
  settings.PathUpdate = dir.Sub("Bin");
  ui.ClearLog();
  result = Code(UpdateArchivedModule(Ctx(), ModuleByCode("LDR")));
  EXPECT_EQ(result, 9);
  EXPECT_EQ(ui.Log(),
            (std::vector<std::string>{"--> ОШИБКА выгрузки файла: [" +
                                          ArchivePath(settings.PathTemp, "NurvLoader.exe") + "]",
                                      refused(own_name)}));
  EXPECT_EQ(ReadFile(own_name), "loader");
}

}  // namespace
}  // namespace nurv
