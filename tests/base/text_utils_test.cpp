#include "base/text_utils.h"

#include <gtest/gtest.h>

#include "base/date_utils.h"
#include "base/utf8.h"
#include "base/value.h"

namespace nurv {
namespace {

using Pieces = std::vector<std::string>;

Pieces Split(const std::string& text, const std::string& delimiter = ".") {
  Pieces list;
  SplitText(text, delimiter, list);
  return list;
}

TEST(PadTo3, PadsShortTextsOnly) {
  EXPECT_EQ(PadTo3(""), "000");
  EXPECT_EQ(PadTo3("7"), "007");
  EXPECT_EQ(PadTo3("15"), "015");
  EXPECT_EQ(PadTo3("123"), "123");
  EXPECT_EQ(PadTo3("1234"), "1234");
}

TEST(SplitText, PiecesAsTheVersionKeysNeedThem) {
  EXPECT_EQ(Split("6.2.0.15"), (Pieces{"6", "2", "0", "15"}));
  EXPECT_EQ(Split("1..2"), (Pieces{"1", "", "2"}));
  EXPECT_EQ(Split(".5"), (Pieces{"", "5"}));
  EXPECT_EQ(Split("3."), (Pieces{"3"}));
  EXPECT_EQ(Split("1.2."), (Pieces{"1", "2"}));
  EXPECT_EQ(Split("7"), (Pieces{"7"}));
  EXPECT_EQ(Split("."), (Pieces{""}));
  EXPECT_EQ(Split(""), Pieces{});
}

TEST(SplitText, AppendsWithoutClearing) {
  Pieces list{"old"};
  SplitText("a.b", ".", list);
  SplitText("", ".", list);
  EXPECT_EQ(list, (Pieces{"old", "a", "b"}));
}

TEST(SplitText, OnlyAOneCharacterDelimiterSplits) {
  // A longer delimiter never equals one character: the text stays whole.
  EXPECT_EQ(Split("1..2", ".."), (Pieces{"1..2"}));
  EXPECT_EQ(Split("a.b", ""), (Pieces{"a.b"}));
  EXPECT_EQ(Split("аб№вг", "№"), (Pieces{"аб", "вг"}));
}

TEST(NextToken, MovesThePositionPastTheDelimiter) {
  int position = 1;
  EXPECT_EQ(NextToken("ab.cd", position, "."), "ab");
  EXPECT_EQ(position, 4);
  EXPECT_EQ(NextToken("ab.cd", position, "."), "cd");
  EXPECT_EQ(position, 6);
  EXPECT_EQ(NextToken("ab.cd", position, "."), "");
  EXPECT_EQ(position, 6);
  position = 0;  // out of range starts at the beginning
  EXPECT_EQ(NextToken("x", position, "."), "x");
}

TEST(LowerCaseText, CyrillicLatinAndInvalidBytes) {
  EXPECT_EQ(LowerCaseText("-Caption=БАЗА Ёлка ЯЩИК"), "-caption=база ёлка ящик");
  EXPECT_EQ(LowerCaseText("ÀÉÖ×Þ"), "àéö×þ");
  EXPECT_EQ(LowerCaseText("ЀЏҐ"), "ѐџґ");
  EXPECT_EQ(LowerCaseText("日本 €"), "日本 €");
  // Not UTF-8 (a Windows-1251 "Б" and a cut sequence): bytes pass unchanged.
  EXPECT_EQ(LowerCaseText(std::string("\xC1X\xD0", 3)), std::string("\xC1x\xD0", 3));
}

TEST(TruncToMinute, DropsSecondsAndMilliseconds) {
  using namespace std::chrono;
  const DateTime day{local_days{2024y / 3 / 15}.time_since_epoch()};
  EXPECT_EQ(TruncToMinute(day + 14h + 37min + 59s + 999ms), day + 14h + 37min);
  EXPECT_EQ(TruncToMinute(day + 14h + 37min), day + 14h + 37min);
  const DateTime before_epoch{local_days{1969y / 12 / 31}.time_since_epoch()};
  EXPECT_EQ(TruncToMinute(before_epoch + 23h + 59min + 30s), before_epoch + 23h + 59min);
}

TEST(Coalesce, OnlyNullTakesTheDefault) {
  const Value fallback = std::string("00.00.00.00");
  EXPECT_EQ(Coalesce(NullValue{}, fallback), fallback);
  EXPECT_EQ(Coalesce(std::string("6.2.0.15"), fallback), Value(std::string("6.2.0.15")));
  EXPECT_EQ(Coalesce(Value{}, fallback), Value{});
  EXPECT_EQ(Coalesce(std::int64_t{0}, fallback), Value(std::int64_t{0}));
}

}  // namespace
}  // namespace nurv
