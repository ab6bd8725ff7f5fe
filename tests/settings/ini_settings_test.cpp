#include "settings/ini_settings.h"

#include <gtest/gtest.h>

#include "common/native_path.h"
#include "common/temp_dir.h"

namespace nurv {
namespace {

using testing::Native;
using testing::TempDir;
using testing::WriteFile;

TEST(ParseIniInteger, AcceptsTheProfileFunctionsNumberForms) {
  struct Case {
    const char* text;
    std::int32_t expected;
  } cases[] = {
      {"0x1F", 31},
      {"0X1f", 31},
      {"$1F", 31},
      {"-$10", -16},
      {"70000", 70000},
      {"-1", -1},
      {"+5", 5},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$FFFFFFFF", -1},
      {"0xFFFFFFFF", -1},
      // Not numbers: the default.
      {"0x", -99},
      {"0X", -99},
      {"$", -99},
      {"-", -99},
      {"", -99},
      {"yes", -99},
      {"true", -99},
      {"12a", -99},
      {"1.5", -99},
      {"0x-5", -99},
      {"x1F", -99},
      {"2147483648", -99},
      {"-2147483649", -99},
      {"$100000000", -99},
      {"99999999999999999999", -99},
      {"1 2", -99},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseIniInteger(c.text, -99), c.expected) << c.text;
}

TEST(ReadIniFile, ReadsSectionConfigUser51WithDefaultsAndLow16Bits) {
  TempDir dir;
  const std::string ini = dir.Sub("nurv.ini");
  WriteFile(ini,
            "[Other]\r\nServer=wrong\r\nRefreshRepl=77\r\n"
            "[ConfigUser51]\r\n"
            "Server=SRV\\SQL2019\r\nDataBase= Complex \r\nCaption=\"Основная база\"\r\n"
            "User=Петров\r\nRegion=70000\r\nRegion2=-1\r\nShowWordProces=2\r\nThemeXP=0\r\n");
  const SettingsRecord s = ReadIniFile(ini, "/Complex/Bin/");
  EXPECT_EQ(s.Server, "SRV\\SQL2019");
  EXPECT_EQ(s.DataBase, "Complex");
  EXPECT_EQ(s.Caption, "Основная база");
  EXPECT_EQ(s.User, "Петров");
  EXPECT_EQ(s.Region, 4464);
  EXPECT_EQ(s.Region2, 65535);
  EXPECT_EQ(s.RefreshRepl, 10);  // missing in the section; the other section's value is not read
  EXPECT_TRUE(s.ShowWordProces);
  EXPECT_FALSE(s.ThemeXP);
  EXPECT_EQ(s.PathTemp, "");
  EXPECT_EQ(s.Password, "");

  WriteFile(ini,
            "[configuser51]\nThemeXP=yes\nShowWordProces=true\nRegion=0x1F\nRefreshRepl=$14\n");
  const SettingsRecord t = ReadIniFile(ini, "/Complex/Bin/");
  EXPECT_TRUE(t.ThemeXP);
  EXPECT_FALSE(t.ShowWordProces);
  EXPECT_EQ(t.Region, 31);
  EXPECT_EQ(t.RefreshRepl, 20);
}

TEST(ReadIniFile, FileWithoutTheSectionOrUnreadableGivesDefaults) {
  TempDir dir;
  for (const std::string& path : {dir.Sub("absent.ini"), dir.path()}) {
    const SettingsRecord s = ReadIniFile(path, Native("/opt/Bin/"));
    EXPECT_EQ(s.Server, "");
    EXPECT_EQ(s.Region, 0);
    EXPECT_EQ(s.RefreshRepl, 10);
    EXPECT_TRUE(s.ThemeXP);
    EXPECT_FALSE(s.ShowWordProces);
    EXPECT_EQ(s.PathProgram, Native("/opt/Bin"));
  }
}

TEST(ReadIniFile, DerivesTheSiblingFolders) {
  struct Case {
    const char* loader_dir;
    const char* program;
    const char* update;
    const char* help;
    const char* shablon;
    const char* report;
  } cases[] = {
      {"/Complex/BIN/", "/Complex/BIN", "/Complex/Update", "/Complex/Help", "/Complex/Shablon",
       "/Complex/Report"},
      // Only the first occurrence, even inside another word.
      {"/Binaries/App/Bin/", "/Binaries/App/Bin", "/Updatearies/App/Bin", "/Helparies/App/Bin",
       "/Shablonaries/App/Bin", "/Reportaries/App/Bin"},
      {"/Source/App/Bin/", "/Source/App/Bin", "/Update/App/Bin", "/Help/App/Bin",
       "/Shablon/App/Bin", "/Report/App/Bin"},
      // "Source" is looked for with case, the marker then without.
      {"/source/app/bin/", "/source/app/bin", "/source/app/Update", "/source/app/Help",
       "/source/app/Shablon", "/source/app/Report"},
      {"/source/Source/Bin/", "/source/Source/Bin", "/Update/Source/Bin", "/Help/Source/Bin",
       "/Shablon/Source/Bin", "/Report/Source/Bin"},
      {"/Apps/Complex/", "/Apps/Complex", "/Apps/Complex", "/Apps/Complex", "/Apps/Complex",
       "/Apps/Complex"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const SettingsRecord s = ReadIniFile(dir.Sub("absent.ini"), Native(c.loader_dir));
    EXPECT_EQ(s.PathProgram, Native(c.program)) << c.loader_dir;
    EXPECT_EQ(s.PathUpdate, Native(c.update)) << c.loader_dir;
    EXPECT_EQ(s.PathHelp, Native(c.help)) << c.loader_dir;
    EXPECT_EQ(s.PathShablon, Native(c.shablon)) << c.loader_dir;
    EXPECT_EQ(s.PathReport, Native(c.report)) << c.loader_dir;
  }
  EXPECT_EQ(DeriveFolder("C:\\Complex\\BIN", "Bin", "Update"), "C:\\Complex\\Update");
  EXPECT_EQ(DeriveFolder("", "Bin", "Update"), "");
}

}  // namespace
}  // namespace nurv
