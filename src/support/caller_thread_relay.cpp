#include "support/caller_thread_relay.h"

namespace nurv {

void CallerThreadRelay::Serve(const std::function<void()>& work) {
  caller_ = std::this_thread::get_id();
  serving_ = true;
  work_ended_ = false;
  std::thread worker;
  try {
    worker = std::thread([this, &work] {
      work();
      const std::lock_guard lock(mutex_);
      work_ended_ = true;
      wake_caller_.notify_one();
    });
  } catch (...) {
    serving_ = false;
    throw;
  }
  {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_caller_.wait(lock, [this] { return !pending_.empty() || work_ended_; });
      if (pending_.empty()) break;
      Pending* next = pending_.front();
      pending_.pop_front();
      lock.unlock();
      (*next->call)();
      lock.lock();
      next->done = true;
      call_done_.notify_all();
    }
  }
  worker.join();
  serving_ = false;
}

void CallerThreadRelay::Call(const std::function<void()>& call) {
  if (!serving_ || std::this_thread::get_id() == caller_) {
    call();
    return;
  }
  Pending pending{&call};
  std::unique_lock lock(mutex_);
  pending_.push_back(&pending);
  wake_caller_.notify_one();
  call_done_.wait(lock, [&pending] { return pending.done; });
}

}  // namespace nurv
