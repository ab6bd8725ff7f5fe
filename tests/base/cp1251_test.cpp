#include "base/cp1251.h"
#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace nurv {
namespace {

// The bytes 0x80..0xFF in order, as UTF-8 text; 0x98 (undefined in the code page) is U+0098.
const std::string kUpperHalfUtf8 =
    "ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏ"
    "ђ‘’“”•–—\xC2\x98™љ›њќћџ"
    "\xC2\xA0ЎўЈ¤Ґ¦§Ё©Є«¬\xC2\xAD®Ї"
    "°±Ііґµ¶·ё№є»јЅѕї"
    "АБВГДЕЖЗИЙКЛМНОП"
    "РСТУФХЦЧШЩЪЫЬЭЮЯ"
    "абвгдежзийклмноп"
    "рстуфхцчшщъыьэюя";

std::string AllUpperBytes() {
  std::string bytes;
  for (int b = 0x80; b <= 0xFF; ++b) bytes += static_cast<char>(b);
  return bytes;
}

TEST(Cp1251, DecodesWholeTable) {
  EXPECT_EQ(Cp1251ToUtf8(AllUpperBytes()), kUpperHalfUtf8);
  std::string ascii;
  for (int b = 0; b < 0x80; ++b) ascii += static_cast<char>(b);
  EXPECT_EQ(Cp1251ToUtf8(ascii), ascii);
}

TEST(Cp1251, EncodesWholeTableBack) {
  EXPECT_EQ(Utf8ToCp1251(kUpperHalfUtf8), AllUpperBytes());
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(AllUpperBytes())), AllUpperBytes());
}

TEST(Cp1251, SingleLettersThatOftenGoWrong) {
  EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8\xB9"), "Ёё№");
  EXPECT_EQ(Utf8ToCp1251("Ёё№"), "\xA8\xB8\xB9");
  EXPECT_EQ(Utf8ToCp1251("Запись слиля Windows - ОШИБКА"),
            "\xC7\xE0\xEF\xE8\xF1\xFC \xF1\xEB\xE8\xEB\xFF Windows - \xCE\xD8\xC8\xC1\xCA\xC0");
}

TEST(Cp1251, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD"
                         "b"),
            "a?b");                                  // CJK
  EXPECT_EQ(Utf8ToCp1251("\xF0\x9F\x98\x80"), "?");  // emoji, one character
  EXPECT_EQ(Utf8ToCp1251("é"), "?");                 // Latin-1, not in 1251
  EXPECT_EQ(Utf8ToCp1251("x\xFFy"), "x?y");          // stray byte
  EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");              // truncated sequence
  EXPECT_EQ(Utf8ToCp1251("\xC0\x80"), "??");         // overlong NUL
}

TEST(Cp1251, Utf8Validation) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8(kUpperHalfUtf8));
  EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xD0"));              // truncated
  EXPECT_FALSE(IsValidUtf8("\x80"));              // lone continuation
  // Russian text in Windows-1251 is almost never valid UTF-8.
  EXPECT_FALSE(IsValidUtf8(AllUpperBytes()));
  EXPECT_FALSE(IsValidUtf8("\xCF\xF3\xF2\xFC"));  // "Путь"
}

}  // namespace
}  // namespace nurv
