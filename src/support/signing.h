#pragma once
// Ed25519 signatures, the secret key's text form and the wiping of secrets, from libsodium (the one
// place that calls it); SHA-256 digests of files.
#include <array>
#include <cstddef>
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

// Overwrites memory that held a secret; the compiler may not leave the writes out.
void WipeSecret(void* data, std::size_t size);

// A secret held where it is wiped when it goes, however the scope is left. An aggregate: built
// from a function's result, the secret is made in place, never copied.
template <typename Secret>
struct Wiped {
  Secret value{};
  ~Wiped() { WipeSecret(&value, sizeof value); }
};

// The secret key file's one line: "ed25519-secret:", the standard base64 (with padding) of the
// 64-byte secret key and a line feed. Made and read in fixed buffers, never on the heap, so that
// every copy of the secret can be wiped.
using SecretKeyText = std::array<char, 104>;
SecretKeyText SecretKeyLine(const SecretKey& key);
// Reads the key of the first line of `text` (blanks around it allowed) into `key`; false when
// that line is no secret key line.
bool ParseSecretKeyLine(std::string_view text, SecretKey& key);

Signature SignMessage(std::string_view message, const SecretKey& secret_key);
bool SignatureMatches(std::string_view message, const Signature& signature,
                      const PublicKey& public_key);

}  // namespace nurv
