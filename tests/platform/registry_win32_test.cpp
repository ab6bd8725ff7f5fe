// The registry layer against the real registry of Windows (under Wine in CI).
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>

#include "platform/registry.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {
namespace {

// Every test works below a key of its own, removed at the end.
class WinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = "\\SOFTWARE\\NurvLoaderTest\\" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(random());
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, win32::Widen(root_.substr(1)).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, win32::Widen(root_.substr(1)).c_str());
  }
  // Writes a value of any type directly through the API.
  void RawSet(const std::string& key, const wchar_t* name, DWORD type, const void* data,
              DWORD size) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, win32::Widen(key.substr(1)).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(handle);
  }

  std::unique_ptr<Registry> registry_ = OpenCurrentUserRegistry();
  std::string root_;
};

TEST_F(WinRegistryTest, OpenNeverCreatesCreateMakesParents) {
  EXPECT_EQ(registry_->Open(root_ + "\\NURVSQL"), nullptr);
  EXPECT_EQ(registry_->Open(root_ + "\\NURVSQL"), nullptr);  // the failed open left nothing
  ASSERT_NE(registry_->Create(root_ + "\\NURVSQL\\ServerNames"), nullptr);
  EXPECT_NE(registry_->Open(root_ + "\\NURVSQL"), nullptr);
  EXPECT_NE(registry_->Open(root_ + "\\nurvsql\\SERVERNAMES"), nullptr);  // names ignore case
  // Creating an existing key opens it and keeps its values.
  registry_->Create(root_)->SetDword("Region", 550);
  EXPECT_EQ(registry_->Create(root_)->Query("Region")->number, 550u);
}

TEST_F(WinRegistryTest, TypedValuesRoundTrip) {
  auto key = registry_->Create(root_);
  key->SetString("PathUpdate", "C:\\Complex\\Update");
  key->SetString("DataBaseCaption1", "Главная база №1");
  key->SetString("Empty", "");
  key->SetDword("Region", 70000);
  key->SetDword("Max", 0xFFFFFFFFu);

  auto reopened = registry_->Open(root_);
  ASSERT_NE(reopened, nullptr);
  auto text = reopened->Query("pathupdate");
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->type, RegType::Sz);
  EXPECT_EQ(text->text, "C:\\Complex\\Update");
  EXPECT_EQ(reopened->Query("DATABASECAPTION1")->text, "Главная база №1");
  EXPECT_EQ(reopened->Query("Empty")->text, "");
  auto number = reopened->Query("Region");
  EXPECT_EQ(number->type, RegType::Dword);
  EXPECT_EQ(number->number, 70000u);
  EXPECT_EQ(reopened->Query("Max")->number, 0xFFFFFFFFu);
  EXPECT_FALSE(reopened->Query("Absent").has_value());

  // Overwriting changes the type as well as the data.
  reopened->SetString("Region", "550");
  EXPECT_EQ(reopened->Query("Region")->type, RegType::Sz);
  EXPECT_EQ(reopened->Query("Region")->text, "550");
}

TEST_F(WinRegistryTest, DeleteValueIgnoresMissingValues) {
  auto key = registry_->Create(root_);
  key->SetString("ServerName3", "srv");
  key->DeleteValue("SERVERNAME3");
  EXPECT_FALSE(key->Query("ServerName3").has_value());
  EXPECT_NO_THROW(key->DeleteValue("ServerName3"));
  EXPECT_NO_THROW(key->DeleteValue("NeverThere"));
}

TEST_F(WinRegistryTest, ValuesOfOtherProgramsKeepTheirBytes) {
  registry_->Create(root_);
  const unsigned char binary[] = {0x00, 0xFF, 0x10};
  const wchar_t multi[] = L"a\0bc\0";
  const unsigned long long qword = 0x0102030405060708ull;
  const wchar_t unterminated[] = {L'a', L'b'};
  const WORD short_dword = 0x1234;
  RawSet(root_, L"Bin", REG_BINARY, binary, sizeof(binary));
  RawSet(root_, L"Multi", REG_MULTI_SZ, multi, sizeof(multi));
  RawSet(root_, L"Q", REG_QWORD, &qword, sizeof(qword));
  RawSet(root_, L"Expand", REG_EXPAND_SZ, L"%TEMP%\\x", 18);
  RawSet(root_, L"NoZero", REG_SZ, unterminated, sizeof(unterminated));
  RawSet(root_, L"Short", REG_DWORD, &short_dword, sizeof(short_dword));

  auto key = registry_->Open(root_);
  auto bin = key->Query("Bin");
  EXPECT_EQ(bin->type, RegType::Binary);
  EXPECT_EQ(bin->raw, (std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));
  auto m = key->Query("Multi");
  EXPECT_EQ(m->type, RegType::MultiSz);
  EXPECT_EQ(m->raw.size(), sizeof(multi));
  auto q = key->Query("Q");
  EXPECT_EQ(q->type, RegType::Qword);
  EXPECT_EQ(q->raw, (std::vector<std::uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
  auto e = key->Query("Expand");
  EXPECT_EQ(e->type, RegType::ExpandSz);
  EXPECT_EQ(e->text, "%TEMP%\\x");  // kept unexpanded, as stored
  EXPECT_EQ(key->Query("NoZero")->text, "ab");
  EXPECT_EQ(key->Query("Short")->number, 0x1234u);
}

TEST_F(WinRegistryTest, LongTextsAreReadWhole) {
  std::string long_text;
  for (int i = 0; i < 3000; ++i) long_text += "ж";
  registry_->Create(root_)->SetString("Long", long_text);
  EXPECT_EQ(registry_->Open(root_)->Query("Long")->text, long_text);
}

TEST_F(WinRegistryTest, KeyThatCannotBeCreatedRaisesRegistryError) {
  // A key name longer than the registry allows.
  EXPECT_THROW(registry_->Create(root_ + "\\" + std::string(300, 'k')), RegistryError);
  EXPECT_EQ(registry_->Open(root_ + "\\" + std::string(300, 'k')), nullptr);
}

}  // namespace
}  // namespace nurv::platform
#endif  // _WIN32
