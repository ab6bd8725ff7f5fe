// The signed message and the key lines: their bytes are a contract with other verifying tools.
#include "base/update_signature.h"

#include <gtest/gtest.h>

#include "base/base64.h"

namespace nurv {
namespace {

SignedFields Fields() {
  SignedFields fields;
  fields.code = "BAT";
  fields.name = "nurvrun.bat";
  fields.updatedate = std::chrono::local_days(std::chrono::year(2026) / 4 / 20) +
                      std::chrono::hours(14) + std::chrono::minutes(30) + std::chrono::seconds(5) +
                      std::chrono::milliseconds(700);
  fields.caption = 3735928559;
  fields.landed.fill(0x11);
  fields.stored.fill(0x22);
  return fields;
}

std::string Field(std::string_view bytes) {
  return std::string{0, 0, 0, static_cast<char>(bytes.size())} + std::string(bytes);
}

TEST(SignedMessage, IsTheTaggedLengthPrefixedFieldsWithNullDistinctFromEmpty) {
  const std::string expected = Field("nurv-update-signature-1") + Field("BAT") +
                               Field("nurvrun.bat") + "\xFF\xFF\xFF\xFF" +
                               Field("2026-04-20 14:30:05") + Field("3735928559") +
                               Field(std::string(32, '\x11')) + Field(std::string(32, '\x22'));
  EXPECT_EQ(SignedMessage(Fields()), expected);

  SignedFields empty_version = Fields();
  empty_version.version = "";
  EXPECT_NE(SignedMessage(empty_version), expected);
  // A field's bytes cannot slide into its neighbour.
  SignedFields shifted = Fields();
  shifted.code = "BATn";
  shifted.name = "urvrun.bat";
  EXPECT_NE(SignedMessage(shifted), expected);
}

TEST(KeyLines, RoundTripAndRefuseAnythingElse) {
  PublicKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i * 7);
  const std::string line = PublicKeyLine(key);
  EXPECT_EQ(line, "ed25519:AAcOFRwjKjE4P0ZNVFtiaXB3foWMk5qhqK+2vcTL0tk=");
  EXPECT_EQ(ParsePublicKeyLine("  " + line + "\r\n"), key);
  EXPECT_EQ(KeyId(key), "00070e151c232a31");
  for (const std::string& bad :
       {line.substr(1), line.substr(0, line.size() - 4), "ed25519:" + Base64Encode("short"),
        line.substr(0, line.size() - 2) + "l="})
    EXPECT_FALSE(ParsePublicKeyLine(bad)) << bad;
}

TEST(Base64, EncodesEveryTailAndDecodesOnlyCanonicalText) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Decode("Zm8="), "fo");
  EXPECT_EQ(Base64Decode("Zg=="), "f");
  for (const char* bad : {"Zm8", "Zh==", "Zm9=", "Z===", "Zm9v!A==", "=Zm9"})
    EXPECT_FALSE(Base64Decode(bad)) << bad;
}

}  // namespace
}  // namespace nurv
