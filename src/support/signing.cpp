#include "support/signing.h"

#include <sodium.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/sha256.h"
#include "support/owned_file.h"

namespace nurv {

namespace {

// libsodium must be initialised once before use; it is safe to call again.
void EnsureSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium не инициализирована");
}

std::string ErrorText(int error) {
  return std::generic_category().message(error != 0 ? error : EIO);
}

}  // namespace

FileDigest FileSha256(const std::string& path) {
  FileDigest result;
  const OwnedFile file = OpenOwnedFile(path, FileAccess::Read);
  if (!file) {
    result.error = ErrorText(errno);
    return result;
  }
  platform::Sha256 sha256;
  std::vector<unsigned char> buffer(256 * 1024);
  while (true) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (n > 0) sha256.Update(buffer.data(), n);
    if (n < buffer.size()) {
      if (std::ferror(file.get())) {
        result.error = ErrorText(errno);
        return result;
      }
      break;
    }
  }
  result.digest = sha256.Finish();
  return result;
}

KeyPair GenerateKeyPair() {
  EnsureSodium();
  KeyPair pair;
  crypto_sign_ed25519_keypair(pair.public_key.data(), pair.secret_key.data());
  return pair;
}

PublicKey PublicKeyOf(const SecretKey& secret_key) {
  EnsureSodium();
  PublicKey key{};
  crypto_sign_ed25519_sk_to_pk(key.data(), secret_key.data());
  return key;
}

Signature SignMessage(std::string_view message, const SecretKey& secret_key) {
  EnsureSodium();
  Signature signature{};
  crypto_sign_ed25519_detached(signature.data(), nullptr,
                               reinterpret_cast<const unsigned char*>(message.data()),
                               message.size(), secret_key.data());
  return signature;
}

bool SignatureMatches(std::string_view message, const Signature& signature,
                      const PublicKey& public_key) {
  EnsureSodium();
  return crypto_sign_ed25519_verify_detached(signature.data(),
                                             reinterpret_cast<const unsigned char*>(message.data()),
                                             message.size(), public_key.data()) == 0;
}

}  // namespace nurv
