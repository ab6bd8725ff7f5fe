#include "loader/ui_services.h"

namespace nurv {

bool UiServices::WaitMs(std::int32_t ms) {
  if (ms <= 0) return true;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (true) {
    ProcessMessages();
    const auto now = Clock::now();
    if (now >= deadline) break;
    WaitForMessages(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
  }
  return true;
}

}  // namespace nurv
