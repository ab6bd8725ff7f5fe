// The .reg text format of the POSIX registry store.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/posix/reg_file.h"

namespace nurv::platform::regfile {
namespace {

Value Str(std::string name, std::string text) {
  Value v;
  v.name = std::move(name);
  v.form = Value::Form::String;
  v.text = std::move(text);
  return v;
}

Value Dw(std::string name, std::uint32_t number) {
  Value v;
  v.name = std::move(name);
  v.form = Value::Form::Dword;
  v.number = number;
  return v;
}

Value Hex(std::string name, std::uint32_t type, std::vector<std::uint8_t> bytes) {
  Value v;
  v.name = std::move(name);
  v.form = Value::Form::Hex;
  v.hex_type = type;
  v.bytes = std::move(bytes);
  return v;
}

std::string Utf16Le(const std::string& ascii_or_utf8, bool bom) {
  std::vector<std::uint8_t> units = Utf8ToUtf16Le(ascii_or_utf8);
  units.resize(units.size() - 2);  // no terminator in a file
  std::string out = bom ? "\xFF\xFE" : "";
  out.append(units.begin(), units.end());
  return out;
}

// Parsing what was written gives the same document again.
void ExpectRoundTrip(const Document& document) {
  const ParseResult again = Parse(Write(document));
  EXPECT_EQ(again.status, ParseStatus::Ok) << Write(document);
  EXPECT_EQ(again.document, document) << Write(document);
}

TEST(RegFileFormat, WritesRegeditLayout) {
  Document doc;
  doc.keys.push_back(
      Key{"HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL",
          {Str("PathUpdate", R"(C:\Complex\Update "new")"), Dw("Region", 554), Str("", "default"),
           Hex("Blob", 3, {0x00, 0xAB}), Hex("Expand", 2, {'%', 0, 'X', 0, '%', 0, 0, 0})}});
  doc.keys.push_back(Key{"HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames",
                         {Str("Server\"Name\\51", "sqlite:/opt/complex/updates.db")}});
  EXPECT_EQ(Write(doc),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\n"
            "\"PathUpdate\"=\"C:\\\\Complex\\\\Update \\\"new\\\"\"\n"
            "\"Region\"=dword:0000022a\n"
            "@=\"default\"\n"
            "\"Blob\"=hex:00,ab\n"
            "\"Expand\"=hex(2):25,00,58,00,25,00,00,00\n"
            "\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\ServerNames]\n"
            "\"Server\\\"Name\\\\51\"=\"sqlite:/opt/complex/updates.db\"\n"
            "\n");
  ExpectRoundTrip(doc);
}

TEST(RegFileFormat, LongHexDataIsWrappedLikeRegedit) {
  std::vector<std::uint8_t> bytes(300);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  Document doc;
  doc.keys.push_back(Key{"HKEY_CURRENT_USER\\X", {Hex("A rather long value name", 0x7, bytes)}});
  const std::string text = Write(doc);
  std::istringstream lines(text);
  std::string line;
  int continued = 0;
  while (std::getline(lines, line)) {
    EXPECT_LE(line.size(), 80u) << line;
    if (!line.empty() && line.back() == '\\') ++continued;
  }
  EXPECT_GT(continued, 10);
  EXPECT_NE(text.find("\"A rather long value name\"=hex(7):00,01,"), std::string::npos);
  ExpectRoundTrip(doc);
}

TEST(RegFileFormat, ReadsRegeditExportsInEveryAcceptedEncoding) {
  const std::string exported =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
      "\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
      "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Long\"=hex:01,02,03,\\\r\n"
      "  04,05\r\n"
      "\"Name\"=\"Иванов\"\r\n"
      "@=dword:FFFFFFFF\r\n";
  for (const std::string& bytes : {exported, "\xEF\xBB\xBF" + exported, Utf16Le(exported, true)}) {
    const ParseResult r = Parse(bytes);
    ASSERT_EQ(r.status, ParseStatus::Ok);
    ASSERT_EQ(r.document.keys.size(), 1u);
    const auto& v = r.document.keys[0].values;
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0], Hex("Path", 2, {0x25, 0, 0x54, 0, 0x45, 0, 0x4d, 0, 0x50, 0, 0x25, 0, 0, 0}));
    EXPECT_EQ(Utf16LeToUtf8(v[0].bytes), "%TEMP%");
    EXPECT_EQ(v[1].hex_type, 7u);
    EXPECT_EQ(v[2].hex_type, 11u);
    EXPECT_EQ(v[3], Hex("Long", 3, {1, 2, 3, 4, 5}));
    EXPECT_EQ(v[4], Str("Name", "Иванов"));
    EXPECT_EQ(v[5], Dw("", 0xFFFFFFFFu));
    ExpectRoundTrip(r.document);
  }
}

TEST(RegFileFormat, RepeatedKeysMergeAndTheLaterValueWins) {
  const ParseResult r = Parse(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\A]\n\"x\"=dword:00000001\n\"y\"=\"1\"\n"
      "[HKEY_CURRENT_USER\\B]\n"
      "[hkey_current_user\\a]\n\"X\"=dword:00000002\n\"z\"=\"3\"\n");
  ASSERT_EQ(r.status, ParseStatus::Ok);
  ASSERT_EQ(r.document.keys.size(), 2u);
  EXPECT_EQ(r.document.keys[0].values,
            (std::vector<Value>{Dw("x", 2), Str("y", "1"), Str("z", "3")}));
}

TEST(RegFileFormat, NamesCompareWithoutCase) {
  EXPECT_TRUE(NamesEqual("PathUpdate", "PATHUPDATE"));
  EXPECT_TRUE(NamesEqual("Путь Ёлки", "пУТЬ ёЛКИ"));
  EXPECT_FALSE(NamesEqual("Region", "Region2"));
  EXPECT_FALSE(NamesEqual("е", "ё"));
}

TEST(RegFileFormat, DamagedLinesAreReportedAndTheRestIsRead) {
  const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n";
  const std::string good = "\"good\"=dword:00000007\n";
  struct Case {
    const char* what;
    std::string line;
  } cases[] = {
      {"cut-off string", "\"PathUpdate\"=\"/opt/comp\n"},
      {"cut-off dword", "\"Region\"=dword:0000\n"},
      {"bad hex", "\"Blob\"=hex:0g,01\n"},
      {"cut-off hex byte", "\"Blob\"=hex:01,0\n"},
      {"trailing comma", "\"Blob\"=hex:01,\n"},
      {"bad hex type", "\"Blob\"=hex(zz):01\n"},
      {"unknown type", "\"Q\"=qword:0000000000000001\n"},
      {"deletion mark", "\"Q\"=-\n"},
      {"missing equals", "\"Q\" dword:00000001\n"},
      {"unterminated name", "\"Q=dword:00000001\n"},
      {"stray text", "Region=5\n"},
      {"not UTF-8", "\"Q\"=\"\xCF\xF3\xF2\xFC\"\n"},
      {"NUL in string", std::string("\"Q\"=\"a\0b\"\n", 10)},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(head + c.line + good);
    EXPECT_EQ(r.status, ParseStatus::Damaged) << c.what;
    EXPECT_EQ(r.problems.size(), 1u) << c.what;
    ASSERT_FALSE(r.document.keys.empty()) << c.what;
    // The good value after the damaged line is still there.
    bool found = false;
    for (const Key& key : r.document.keys) {
      for (const Value& v : key.values) found = found || v == Dw("good", 7);
    }
    EXPECT_TRUE(found) << c.what;
    ExpectRoundTrip(r.document);
  }
  // Hex data whose continuation never comes.
  const ParseResult cut = Parse(head + good + "\"Blob\"=hex:01,02,\\\n");
  EXPECT_EQ(cut.status, ParseStatus::Damaged);
  EXPECT_EQ(cut.document.keys[0].values, std::vector<Value>{Dw("good", 7)});
  // The values below a broken key line belong to no known key: reported, not put elsewhere.
  const ParseResult orphan = Parse(head + good + "[HKEY_CURRENT_USER\\L\n\"x\"=\"y\"\n");
  EXPECT_EQ(orphan.status, ParseStatus::Damaged);
  EXPECT_EQ(orphan.problems.size(), 2u);
  EXPECT_EQ(orphan.document.keys.size(), 1u);
  EXPECT_EQ(orphan.document.keys[0].values, std::vector<Value>{Dw("good", 7)});
  // A value before any key line.
  EXPECT_EQ(Parse("Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n").status,
            ParseStatus::Damaged);
}

TEST(RegFileFormat, ForeignContentIsUnreadable) {
  const std::string reg = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n";
  EXPECT_EQ(Parse("[HKEY_CURRENT_USER\\K]\n\"a\"=\"b\"\n").status, ParseStatus::Unreadable);
  EXPECT_EQ(Parse("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n").status, ParseStatus::Unreadable);
  EXPECT_EQ(Parse(Utf16Le(reg, false)).status, ParseStatus::Unreadable);
  std::string garbage;
  for (int i = 0; i < 2048; ++i) garbage += static_cast<char>((i * 167 + 13) % 256);
  const ParseResult g = Parse(garbage);
  EXPECT_EQ(g.status, ParseStatus::Unreadable);
  EXPECT_TRUE(g.document.keys.empty());
  EXPECT_EQ(Parse("").status, ParseStatus::Ok);
  EXPECT_EQ(Parse("\n\r\n  \n").status, ParseStatus::Ok);
  // A UTF-16 store cut in the middle of a character.
  std::string odd = Utf16Le(reg + "\"a\"=\"b\"\n", true);
  odd.pop_back();
  EXPECT_EQ(Parse(odd).status, ParseStatus::Damaged);
}

TEST(RegFileFormat, Utf16Conversions) {
  EXPECT_EQ(Utf8ToUtf16Le("Ж😀"),
            (std::vector<std::uint8_t>{0x16, 0x04, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0x00}));
  EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le("Ж😀")), "Ж😀");
  // Read as a REG_SZ: up to the first NUL; an unpaired surrogate is replaced.
  EXPECT_EQ(Utf16LeToUtf8({'a', 0, 0, 0, 'b', 0}), "a");
  EXPECT_EQ(Utf16LeToUtf8({0x00, 0xD8, 'x', 0}), "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace nurv::platform::regfile

#endif  // _WIN32
