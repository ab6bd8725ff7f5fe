#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "base/update_signature.h"
#include "platform/sha256.h"

namespace nurv {

// SHA-256 of bytes that stream to a file, computed on a thread of its own while the caller goes on
// reading and writing: on a machine with a second core, checking a large file then costs hardly
// more time than writing it. The bytes are copied into blocks; at most a few blocks wait, so the
// memory it takes stays bounded whatever the file's size.
class BackgroundSha256 {
 public:
  BackgroundSha256();
  ~BackgroundSha256();
  BackgroundSha256(const BackgroundSha256&) = delete;
  BackgroundSha256& operator=(const BackgroundSha256&) = delete;

  void Update(const std::uint8_t* data, std::size_t size);
  // The digest of everything handed in; call once, at the end.
  Sha256Digest Finish();

 private:
  static constexpr std::size_t kBlockBytes = 1 << 20;
  static constexpr std::size_t kWaitingBlocks = 4;

  void HandOver();
  // Tells the worker to end once every waiting block is hashed, and waits for it.
  void Stop();
  void Work();

  platform::Sha256 sha256_;
  std::vector<std::uint8_t> filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<std::uint8_t>> waiting_;
  // Blocks already hashed, filled again rather than allocated anew: fresh memory costs a page
  // fault per page, more than the hashing of it.
  std::vector<std::vector<std::uint8_t>> spare_;
  bool ending_ = false;
  std::thread worker_;
};

}  // namespace nurv
