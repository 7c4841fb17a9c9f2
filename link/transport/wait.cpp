#include "link/transport/wait.h"

#include <algorithm>
#include <thread>

#include "tallygate/host.h"

namespace tallygate {

WaitOutcome Wait(double timeout_seconds, const WaitControl& control,
                 const std::function<bool()>& ready,
                 const std::function<void(std::chrono::milliseconds)>& sleep,
                 const std::function<bool()>& gone) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto limit = std::chrono::duration<double>(timeout_seconds);
  const bool pump = control.pump_host_events && host::HasEventPump();
  const bool stoppable = control.stop.stop_possible();
  while (true) {
    const auto elapsed = Clock::now() - start;
    if (elapsed >= limit) return WaitOutcome::kTimedOut;
    if (stoppable && control.stop.stop_requested()) return WaitOutcome::kStopped;
    if (control.pump_host_events) host::PumpEvents();
    // Asking whether the line is gone may itself take in the bytes waited
    // for (a socket reads them to see whether its peer closed), so it is
    // asked before readiness: otherwise those bytes would be found only after
    // a sleep that nothing new comes to end.
    const bool ended = gone && gone();
    if (ready()) return WaitOutcome::kReady;
    if (ended) return WaitOutcome::kGone;
    auto remaining = std::chrono::ceil<std::chrono::milliseconds>(limit - elapsed);
    if (remaining < std::chrono::milliseconds(1)) remaining = std::chrono::milliseconds(1);
    if (pump) remaining = std::min(remaining, kEventPumpInterval);
    if (stoppable) remaining = std::min(remaining, kStopCheckInterval);
    sleep(remaining);
  }
}

bool WaitUntil(double timeout_seconds, const std::function<bool()>& ready,
               const std::function<void(std::chrono::milliseconds)>& sleep,
               const std::function<bool()>& gone) {
  return Wait(timeout_seconds, WaitControl{true, {}}, ready, sleep, gone) == WaitOutcome::kReady;
}

void Pause(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool Pause(int milliseconds, const std::stop_token& stop) {
  if (!stop.stop_possible()) {
    Pause(milliseconds);
    return true;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!stop.stop_requested()) {
    const auto left = end - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kStopCheckInterval));
  }
  return false;
}

}  // namespace tallygate
