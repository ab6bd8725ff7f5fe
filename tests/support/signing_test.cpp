// Signatures and digests through the real libsodium.
#include "support/signing.h"

#include <gtest/gtest.h>

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
