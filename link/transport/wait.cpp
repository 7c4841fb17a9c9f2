#include "link/transport/wait.h"

#include <algorithm>
#include <thread>

#include "tallygate/host.h"

namespace tallygate {

bool WaitUntil(double timeout_seconds, const std::function<bool()>& ready,
               const std::function<void(std::chrono::milliseconds)>& sleep,
               const std::function<bool()>& gone) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto limit = std::chrono::duration<double>(timeout_seconds);
  const bool pump = host::HasEventPump();
  while (true) {
    const auto elapsed = Clock::now() - start;
    if (elapsed >= limit) return false;
    host::PumpEvents();
    if (ready()) return true;
    if (gone && gone()) return false;
    auto remaining = std::chrono::ceil<std::chrono::milliseconds>(limit - elapsed);
    if (remaining < std::chrono::milliseconds(1)) remaining = std::chrono::milliseconds(1);
    sleep(pump ? std::min(remaining, kEventPumpInterval) : remaining);
  }
}

void Pause(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tallygate
