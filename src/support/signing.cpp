#include "support/signing.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "base/text_utils.h"
#include "platform/sha256.h"
#include "support/owned_file.h"

namespace nurv {

namespace {

// libsodium must be initialised once before use; it is safe to call again.
void EnsureSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium не инициализирована");
}

constexpr std::string_view kSecretKeyPrefix = "ed25519-secret:";
constexpr int kBase64 = sodium_base64_VARIANT_ORIGINAL;

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

void WipeSecret(void* data, std::size_t size) { sodium_memzero(data, size); }

SecretKeyText SecretKeyLine(const SecretKey& key) {
  EnsureSodium();
  SecretKeyText line{};
  static_assert(kSecretKeyPrefix.size() + sodium_base64_ENCODED_LEN(64, kBase64) == line.size());
  const auto end = std::copy(kSecretKeyPrefix.begin(), kSecretKeyPrefix.end(), line.begin());
  // The encoder ends its text with a zero, which the line feed then replaces.
  sodium_bin2base64(&*end, static_cast<std::size_t>(line.end() - end), key.data(), key.size(),
                    kBase64);
  line.back() = '\n';
  return line;
}

bool ParseSecretKeyLine(std::string_view text, SecretKey& key) {
  EnsureSodium();
  const std::string_view line = TrimBlanks(text.substr(0, text.find('\n')));
  if (!line.starts_with(kSecretKeyPrefix)) return false;
  const std::string_view base64 = line.substr(kSecretKeyPrefix.size());
  std::size_t size = 0;
  // Strict: padding as the encoder writes it, no other characters, no stray bits.
  return sodium_base642bin(key.data(), key.size(), base64.data(), base64.size(), nullptr, &size,
                           nullptr, kBase64) == 0 &&
         size == key.size();
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
