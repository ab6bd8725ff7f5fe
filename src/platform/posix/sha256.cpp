#include "platform/sha256.h"

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace nurv::platform {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
};

namespace {
void Restart(EVP_MD_CTX* context) {
  if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 недоступен");
}
}  // namespace

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  if (state_->context == nullptr) throw std::bad_alloc();
  Restart(state_->context);
}

Sha256::~Sha256() { EVP_MD_CTX_free(state_->context); }

void Sha256::Update(const void* data, std::size_t size) {
  EVP_DigestUpdate(state_->context, data, size);
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  EVP_DigestFinal_ex(state_->context, digest.data(), nullptr);
  Restart(state_->context);
  return digest;
}

}  // namespace nurv::platform
