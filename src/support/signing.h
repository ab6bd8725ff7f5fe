#pragma once
// Ed25519 signatures from libsodium (the one place that calls it), and SHA-256 digests of files.
#include <optional>
#include <string>
#include <string_view>

#include "base/update_signature.h"

namespace nurv {

// The digest of a file read in chunks, or the platform's text of why it could not be read.
struct FileDigest {
  Sha256Digest digest{};
  std::string error;  // empty when the whole file was read
};
FileDigest FileSha256(const std::string& path);

struct KeyPair {
  PublicKey public_key{};
  SecretKey secret_key{};
};
// A new key pair from the system's random source.
KeyPair GenerateKeyPair();
// The public half of a secret key.
PublicKey PublicKeyOf(const SecretKey& secret_key);

Signature SignMessage(std::string_view message, const SecretKey& secret_key);
bool SignatureMatches(std::string_view message, const Signature& signature,
                      const PublicKey& public_key);

}  // namespace nurv
