#pragma once
#include <chrono>
#include <thread>

namespace nurv::platform {

// Calls `attempt` until it returns true or `deadline` has passed, pausing briefly between the
// tries: for a lock that another process may hold for as long as it likes. Whether an attempt
// succeeded.
template <typename Attempt>
bool RetryUntil(std::chrono::steady_clock::time_point deadline, Attempt attempt) {
  while (!attempt()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace nurv::platform
