// The POSIX profile-string reader.
#ifndef _WIN32
#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <string>

#include "common/temp_dir.h"
#include "platform/posix/ini_parser.h"

namespace nurv::platform {
namespace {

using testing::TempDir;
using testing::WriteFile;

class IniFileTest : public ::testing::Test {
 protected:
  // Writes `content` as the ini file and reads one key of it.
  std::string Read(const std::string& content, const std::string& section, const std::string& key,
                   const std::string& fallback = "<none>") {
    WriteFile(path_, content);
    return ReadProfileString(path_, section, key, fallback);
  }

  TempDir dir_;
  std::string path_ = dir_.Sub("nurv.ini");
};

TEST_F(IniFileTest, SectionAndKeyIgnoreCaseValueTrimmedAndUnquoted) {
  const std::string ini =
      "; administrator's settings\r\n"
      "[configuser51]\r\n"
      "  SERVER =  srv01  \r\n"
      "Caption=\"  Главная база \"\r\n"
      "User='petrov'\r\n"
      "Mixed=\"abc'\r\n"
      "Inner=a \"b\" c\r\n"
      "Empty=\r\n"
      "Equation=a=b\r\n"
      ";Commented=1\r\n";
  EXPECT_EQ(Read(ini, "ConfigUser51", "Server"), "srv01");
  EXPECT_EQ(Read(ini, "CONFIGUSER51", "caption"), "  Главная база ");
  EXPECT_EQ(Read(ini, "ConfigUser51", "User"), "petrov");
  EXPECT_EQ(Read(ini, "ConfigUser51", "Mixed"), "\"abc'");
  EXPECT_EQ(Read(ini, "ConfigUser51", "Inner"), "a \"b\" c");
  EXPECT_EQ(Read(ini, "ConfigUser51", "Empty"), "");
  EXPECT_EQ(Read(ini, "ConfigUser51", "Equation"), "a=b");
  EXPECT_EQ(Read(ini, "ConfigUser51", "Commented"), "<none>");
  EXPECT_EQ(Read(ini, "ConfigUser51", ";Commented"), "<none>");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesFallback) {
  EXPECT_EQ(ReadProfileString(dir_.Sub("absent.ini"), "ConfigUser51", "Server", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileString(dir_.path(), "ConfigUser51", "Server", "dflt"), "dflt");  // a folder
  const std::string ini = "Server=before-any-section\n[Other]\nServer=other\n[ConfigUser51]\nX=1\n";
  EXPECT_EQ(Read(ini, "ConfigUser51", "Server", "dflt"), "dflt");
  EXPECT_EQ(Read(ini, "Absent", "Server", "dflt"), "dflt");
  EXPECT_EQ(Read("", "ConfigUser51", "Server", "dflt"), "dflt");
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyWin) {
  const std::string ini =
      "[ConfigUser51]\nServer=first\nserver=second\n"
      "[Other]\nRegion=7\n"
      "[CONFIGUSER51]\nServer=third\nRegion=9\n";
  EXPECT_EQ(Read(ini, "ConfigUser51", "Server"), "first");
  // Only the first section of the name is searched.
  EXPECT_EQ(Read(ini, "ConfigUser51", "Region"), "<none>");
  EXPECT_EQ(Read(ini, "Other", "Region"), "7");
}

TEST_F(IniFileTest, LineEndsAndSectionLineForms) {
  EXPECT_EQ(Read("[ConfigUser51]\nA=lf\n", "ConfigUser51", "A"), "lf");
  EXPECT_EQ(Read("[ConfigUser51]\r\nA=crlf\r\n", "ConfigUser51", "A"), "crlf");
  EXPECT_EQ(Read("[ConfigUser51]\r\nA=last-line-without-end", "ConfigUser51", "A"),
            "last-line-without-end");
  EXPECT_EQ(Read("  [ ConfigUser51 ]  ; note\nA=1\n", "ConfigUser51", "A"), "1");
  // A section line cut short ends the section before it and opens none.
  EXPECT_EQ(Read("[ConfigUser51]\nA=1\n[Broken\nB=2\n", "ConfigUser51", "B"), "<none>");
  EXPECT_EQ(Read("[ConfigUser51\nA=1\n", "ConfigUser51", "A"), "<none>");
}

TEST_F(IniFileTest, DecodesUtf8WithOrWithoutBomElseWindows1251) {
  EXPECT_EQ(Read("\xEF\xBB\xBF[ConfigUser51]\nCaption=Учёт\n", "ConfigUser51", "Caption"), "Учёт");
  EXPECT_EQ(Read("[ConfigUser51]\nCaption=Учёт №1\n", "ConfigUser51", "Caption"), "Учёт №1");
  // "Учёт №1" in Windows-1251; the section name is found in the converted text too.
  EXPECT_EQ(Read("[ConfigUser51]\r\nCaption=\xD3\xF7\xB8\xF2 \xB9"
                 "1\r\n",
                 "ConfigUser51", "Caption"),
            "Учёт №1");
  // A file that declares UTF-8 keeps it; a byte that breaks it is replaced.
  EXPECT_EQ(Read("\xEF\xBB\xBF[S]\nK=Уч\xB8т\n", "S", "K"), "Уч\xEF\xBF\xBDт");
  // Cyrillic section and key names match without regard to case, in either encoding.
  EXPECT_EQ(Read("[Раздел]\nКлюч=да\n", "РАЗДЕЛ", "ключ"), "да");
  EXPECT_EQ(Read("[\xD0\xE0\xE7\xE4\xE5\xEB]\n\xCA\xEB\xFE\xF7=1\n", "раздел", "КЛЮЧ"), "1");
}

TEST_F(IniFileTest, ValuesAreCutAt2047Characters) {
  const std::string ascii(5000, 'a');
  EXPECT_EQ(Read("[S]\nK=" + ascii + "\n", "S", "K"), std::string(2047, 'a'));
  std::string cyrillic;
  for (int i = 0; i < 2100; ++i) cyrillic += "ж";
  std::string expected;
  for (int i = 0; i < 2047; ++i) expected += "ж";
  EXPECT_EQ(Read("[S]\nK=" + cyrillic + "\n", "S", "K"), expected);
  // The quotes are removed before the value is cut.
  EXPECT_EQ(Read("[S]\nK=\"" + ascii + "\"\n", "S", "K"), std::string(2047, 'a'));
}

TEST(IniParser, MalformedInputNeverCrashes) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  EXPECT_FALSE(FindProfileValue(garbage, "ConfigUser51", "Server").has_value());
  EXPECT_FALSE(FindProfileValue("[", "", "").has_value());
  EXPECT_FALSE(FindProfileValue("]\n=\n[]=", "", "").has_value());
  EXPECT_EQ(FindProfileValue("[]\n=x\n", "", ""), "x");
  EXPECT_EQ(FindProfileValue(std::string("[S]\nK=a\0b\n", 10), "S", "K"), std::string("a\0b", 3));
  EXPECT_EQ(FindProfileValue("[S]\nK=\"\n", "S", "K"), "\"");
}

}  // namespace
}  // namespace nurv::platform

#endif  // _WIN32
