// Signatures and digests through the real libsodium.
#include "support/signing.h"

#include <gtest/gtest.h>

#include "base/base64.h"
#include "common/temp_dir.h"

namespace nurv {
namespace {

TEST(Signing, ASignatureHoldsOnlyForItsMessageAndKey) {
  const KeyPair pair = GenerateKeyPair();
  EXPECT_EQ(PublicKeyOf(pair.secret_key), pair.public_key);
  const Signature signature = SignMessage("row", pair.secret_key);
  EXPECT_TRUE(SignatureMatches("row", signature, pair.public_key));
  EXPECT_FALSE(SignatureMatches("rox", signature, pair.public_key));
  EXPECT_FALSE(SignatureMatches("row", signature, GenerateKeyPair().public_key));
}

TEST(SecretKeyLine, IsTheBase64OfTheKeyAndReadsBackOnlyFromThatForm) {
  SecretKey secret{};
  secret.fill(0xAB);
  const SecretKeyText text = SecretKeyLine(secret);
  const std::string line(text.begin(), text.end());
  EXPECT_EQ(line, "ed25519-secret:" + Base64Encode(BytesOf(secret)) + "\n");
  SecretKey read{};
  EXPECT_TRUE(ParseSecretKeyLine("  " + line.substr(0, line.size() - 1) + "\r\nmore", read));
  EXPECT_EQ(read, secret);
  std::string stray_bits = line;
  stray_bits[line.size() - 4] = 'x';  // "qw==" holds 0xAB and four zero bits, "qx==" a one
  for (const std::string& bad :
       {line.substr(1), line.substr(0, line.size() - 3) + "\n", stray_bits,
        "ed25519-secret:" + Base64Encode("short"), "ed25519:" + Base64Encode(BytesOf(secret))})
    EXPECT_FALSE(ParseSecretKeyLine(bad, read)) << bad;
}

TEST(FileSha256, DigestsTheWholeFileAndReportsAMissingOne) {
  testing::TempDir dir;
  testing::WriteFile(dir.Sub("abc"), "abc");
  const FileDigest digest = FileSha256(dir.Sub("abc"));
  EXPECT_EQ(digest.error, "");
  EXPECT_EQ(HexText(BytesOf(digest.digest)),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_NE(FileSha256(dir.Sub("missing")).error, "");
}

}  // namespace
}  // namespace nurv
