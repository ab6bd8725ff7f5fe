#pragma once
#include <cstddef>
#include <memory>

#include "base/update_signature.h"

namespace nurv::platform {

// SHA-256 of bytes handed in piece by piece, at the speed of the processor's own instructions
// where the system's library has them: checking a large file must not cost more than writing it.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything handed in; the object then starts again.
  Sha256Digest Finish();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace nurv::platform
