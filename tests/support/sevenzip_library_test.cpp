// Loading 7-Zip's library and the texts and conversions around it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/system_info.h"
#include "support/sevenzip_abi.h"
#include "support/sevenzip_archive.h"
#include "support/sevenzip_fixture.h"

namespace nurv {
namespace {

using testing::kSystemSevenZip;
using testing::PutFile;
using testing::TempDir;

#ifdef _WIN32
const char kLibraryName[] = "7za.dll";
const char kLoadError[] =
    "Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found";
#else
const char kLibraryName[] = "7z.so";
const char kLoadError[] =
    "Could not load CreateObject function from 7z.so\r\nPerhaps 7z.so not found";
#endif

std::string LoadErrorOf(const std::vector<std::string>& candidates) {
  try {
    SevenZipArchive archive(candidates);
  } catch (const SevenZipLoadError& error) {
    return error.what();
  }
  return "loaded";
}

TEST(SevenZipLibrary, NameAndLoadErrorText) {
  EXPECT_STREQ(SevenZipLibraryName(), kLibraryName);
  EXPECT_EQ(SevenZipLoadErrorText(), kLoadError);
}

TEST(SevenZipLibrary, UnusableCandidatesGiveTheLoadError) {
  TempDir dir;
  const std::string text_file = PutFile(dir.path(), "7z.so", "not a shared library\n");
  EXPECT_EQ(LoadErrorOf({}), kLoadError);
  EXPECT_EQ(LoadErrorOf({dir.Sub("missing/7z.so")}), kLoadError);
  EXPECT_EQ(LoadErrorOf({text_file}), kLoadError);
  EXPECT_EQ(LoadErrorOf({""}), kLoadError);
  // A real library that is not 7-Zip's: no CreateObject.
  EXPECT_EQ(LoadErrorOf({"libz.so.1"}), kLoadError);
}

TEST(SevenZipLibrary, LaterCandidateIsTakenWhenEarlierOnesFail) {
  NURV_REQUIRE_SEVENZIP();
  TempDir dir;
  const std::string text_file = PutFile(dir.path(), "7z.so", "junk");
  EXPECT_EQ(LoadErrorOf({dir.Sub("none.so"), text_file, "libz.so.1", kSystemSevenZip}), "loaded");
}

TEST(SevenZipLibrary, SearchOrderEndsInTheTemporaryFolder) {
  const std::vector<std::string> candidates = SevenZipLibraryCandidates();
  ASSERT_EQ(candidates.size(), 3u) << "never a bare name for the system's search";
  const std::string own = platform::OwnExecutablePath();
  const std::string sep(1, platform::kPathDelim);
  EXPECT_EQ(candidates[0], own.substr(0, own.rfind(platform::kPathDelim)) + sep + kLibraryName);
  EXPECT_EQ(candidates[1], platform::SystemFolder() + sep + kLibraryName);
  EXPECT_EQ(candidates[2], platform::UserTempFolder() + sep + kLibraryName);
}

TEST(SevenZipLibrary, DefaultSearchFindsTheSystemLibrary) {
  NURV_REQUIRE_SEVENZIP();
  EXPECT_NO_THROW(SevenZipArchive archive);
}

TEST(SevenZipLibraryText, Utf8RoundTripThroughUtf16Units) {
  const std::string text = "Отчёт \xF0\x9F\x98\x80.txt";  // Cyrillic and a character beyond U+FFFF
  const auto units = sz::ToLibraryText(text);
  ASSERT_EQ(units.size(), 12u);  // the emoji takes a surrogate pair
  EXPECT_EQ(static_cast<unsigned>(units[6]), 0xD83Du);
  EXPECT_EQ(static_cast<unsigned>(units[7]), 0xDE00u);
  EXPECT_EQ(sz::FromLibraryText(units.data(), units.size()), text);
}

TEST(SevenZipLibraryText, MalformedInputBecomesReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  // Truncated sequence, stray continuation byte, overlong-range lead byte, encoded surrogate.
  for (const char* bad : {"a\xD0", "\x80z", "\xFF", "\xED\xA0\x80"}) {
    const auto units = sz::ToLibraryText(bad);
    const std::string back = sz::FromLibraryText(units.data(), units.size());
    EXPECT_NE(back.find(replacement), std::string::npos) << bad;
  }
  const sz::WideChar lone_high[] = {0xD800, 'x'};
  EXPECT_EQ(sz::FromLibraryText(lone_high, 2), replacement + "x");
  const sz::WideChar lone_low[] = {0xDC00};
  EXPECT_EQ(sz::FromLibraryText(lone_low, 1), replacement);
}

}  // namespace
}  // namespace nurv
