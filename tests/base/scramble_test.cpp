#include "base/scramble.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace nurv {
namespace {

TEST(UnscrambleText, GroupsOfThreeMinusTheKeyByte) {
  // 'A' (65) + 'a' (97) = 162; 'B' (66) + 'b' (98) = 164.
  EXPECT_EQ(UnscrambleText("162164", "ab"), "AB");
  EXPECT_EQ(UnscrambleText("", "key"), "");
}

TEST(UnscrambleText, SevenDigitsReadTwoGroupsEightReadThree) {
  EXPECT_EQ(UnscrambleText("1621649", "ab"), "AB");  // the seventh digit is ignored
  // The last of three groups has two digits: 99 − 'a' (97) = 2.
  EXPECT_EQ(UnscrambleText("16216499", "ab"), std::string("AB\x02"));
}

TEST(UnscrambleText, ShortKeyRestartsAndDifferenceWraps) {
  // Key "a" for every group; 47 − 97 = −50 wraps to 206, Windows-1251 Cyrillic 'О'.
  EXPECT_EQ(UnscrambleText("162163047", "a"), "AB\u041E");
}

TEST(UnscrambleText, KeyAndResultAreWindows1251Characters) {
  // 'Ж' is 0xC6 = 198 in Windows-1251; 'Я' is 0xDF = 223; 198 + 223 = 421.
  EXPECT_EQ(UnscrambleText("421", "Я"), "Ж");
}

TEST(UnscrambleText, NonDigitGroupAndEmptyKeyRaise) {
  EXPECT_THROW(UnscrambleText("16x164", "ab"), std::invalid_argument);
  EXPECT_THROW(UnscrambleText("16 164", "ab"), std::invalid_argument);
  EXPECT_THROW(UnscrambleText("162", ""), std::invalid_argument);
}

}  // namespace
}  // namespace nurv
