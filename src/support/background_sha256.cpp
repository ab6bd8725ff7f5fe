#include "support/background_sha256.h"

#include <algorithm>
#include <utility>

namespace nurv {

BackgroundSha256::BackgroundSha256() : worker_([this] { Work(); }) {
  filling_.reserve(kBlockBytes);
}

BackgroundSha256::~BackgroundSha256() { Stop(); }

void BackgroundSha256::Stop() {
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void BackgroundSha256::Update(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const std::size_t piece = std::min(size, kBlockBytes - filling_.size());
    filling_.insert(filling_.end(), data, data + piece);
    data += piece;
    size -= piece;
    if (filling_.size() == kBlockBytes) HandOver();
  }
}

void BackgroundSha256::HandOver() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return waiting_.size() < kWaitingBlocks; });
  std::vector<std::uint8_t> next;
  if (!spare_.empty()) {
    next = std::move(spare_.back());
    spare_.pop_back();
  }
  waiting_.push_back(std::exchange(filling_, std::move(next)));
  lock.unlock();
  changed_.notify_all();
  filling_.clear();
  filling_.reserve(kBlockBytes);
}

Sha256Digest BackgroundSha256::Finish() {
  if (!filling_.empty()) HandOver();
  Stop();
  return sha256_.Finish();
}

void BackgroundSha256::Work() {
  for (;;) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // ending, and everything hashed
    std::vector<std::uint8_t> block = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    changed_.notify_all();
    sha256_.Update(block.data(), block.size());
    lock.lock();
    spare_.push_back(std::move(block));
  }
}

}  // namespace nurv
