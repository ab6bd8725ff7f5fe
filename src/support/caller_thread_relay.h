#pragma once
// Lets a library work on threads of its own while everything that reaches our objects' state runs
// on the one thread that asked for the work.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace nurv {

class CallerThreadRelay {
 public:
  // Runs `work` on a new thread; meanwhile this (the caller's) thread carries out, one at a time
  // and in the order they come, the calls that the work's threads hand over with Call. Returns
  // once `work` has returned and its thread has ended; throws std::system_error, without running
  // `work`, when no thread can be started. Not nested, not reentered.
  void Serve(const std::function<void()>& work);

  // Runs `call` on the caller's thread and returns when it is done: at once when this is that
  // thread or no Serve is running, else by handing it over and waiting. `call` must not throw.
  void Call(const std::function<void()>& call);

 private:
  struct Pending {
    const std::function<void()>* call;
    bool done = false;
  };

  std::thread::id caller_;  // written before serving_ is set
  std::atomic<bool> serving_{false};
  std::mutex mutex_;
  std::condition_variable wake_caller_;  // a call was handed over, or the work ended
  std::condition_variable call_done_;
  std::deque<Pending*> pending_;
  bool work_ended_ = false;
};

}  // namespace nurv
