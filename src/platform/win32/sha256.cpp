#include "platform/sha256.h"

#include <windows.h>

// after windows.h, whose types it uses
#include <bcrypt.h>
#include <sodium.h>

#include <stdexcept>

namespace nurv::platform {

namespace {

// CNG is looked up at run time: the program also starts on systems older than it, which then
// hash with libsodium's portable code.
struct Cng {
  using OpenProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
  using CreateHash = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG,
                                       PUCHAR, ULONG, ULONG);
  using HashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
  using FinishHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
  using DestroyHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

  BCRYPT_ALG_HANDLE algorithm = nullptr;
  CreateHash create = nullptr;
  HashData hash = nullptr;
  FinishHash finish = nullptr;
  DestroyHash destroy = nullptr;

  template <typename F>
  static F Function(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }

  Cng() {
    const HMODULE module = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return;
    const auto open = Function<OpenProvider>(module, "BCryptOpenAlgorithmProvider");
    create = Function<CreateHash>(module, "BCryptCreateHash");
    hash = Function<HashData>(module, "BCryptHashData");
    finish = Function<FinishHash>(module, "BCryptFinishHash");
    destroy = Function<DestroyHash>(module, "BCryptDestroyHash");
    if (!open || !create || !hash || !finish || !destroy ||
        open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
      algorithm = nullptr;
    }
  }
};

const Cng& SystemCng() {
  static const Cng cng;
  return cng;
}

}  // namespace

struct Sha256::State {
  BCRYPT_HASH_HANDLE cng_hash = nullptr;
  crypto_hash_sha256_state portable{};

  void Start() {
    const Cng& cng = SystemCng();
    if (cng.algorithm != nullptr &&
        cng.create(cng.algorithm, &cng_hash, nullptr, 0, nullptr, 0, 0) >= 0)
      return;
    cng_hash = nullptr;
    if (sodium_init() < 0) throw std::runtime_error("libsodium не инициализирована");
    crypto_hash_sha256_init(&portable);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) { state_->Start(); }

Sha256::~Sha256() {
  if (state_->cng_hash != nullptr) SystemCng().destroy(state_->cng_hash);
}

void Sha256::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (state_->cng_hash == nullptr) {
    crypto_hash_sha256_update(&state_->portable, bytes, size);
    return;
  }
  while (size > 0) {
    const ULONG piece = size > (1u << 30) ? (1u << 30) : static_cast<ULONG>(size);
    SystemCng().hash(state_->cng_hash, const_cast<PUCHAR>(bytes), piece, 0);
    bytes += piece;
    size -= piece;
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  if (state_->cng_hash == nullptr) {
    crypto_hash_sha256_final(&state_->portable, digest.data());
  } else {
    SystemCng().finish(state_->cng_hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    SystemCng().destroy(state_->cng_hash);
  }
  state_->Start();
  return digest;
}

}  // namespace nurv::platform
