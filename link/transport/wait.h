// Waiting without spinning, and pauses.
//
// A wait measures elapsed time on a monotonic clock, tests the time before
// anything else (so a wait of 0 seconds fails at once), lets the host's events
// run at least every 20 ms when asked to, and otherwise sleeps in the
// transport until bytes arrive or the time is up. A stop request ends a wait
// within kStopCheckInterval.
#ifndef TALLYGATE_LINK_TRANSPORT_WAIT_H_
#define TALLYGATE_LINK_TRANSPORT_WAIT_H_

#include <chrono>
#include <functional>
#include <stop_token>

namespace tallygate {

// How long a wait sleeps at most between two runs of the host's events.
inline constexpr std::chrono::milliseconds kEventPumpInterval{20};
// How long a wait sleeps at most between two looks at its stop token.
inline constexpr std::chrono::milliseconds kStopCheckInterval{50};

// How a wait behaves besides waiting: whether the host's events run during
// it (the Connect_v70 object's waits do; a terminal line used from a worker
// thread must not run a window's events), and the stop request that ends it.
struct WaitControl {
  bool pump_host_events = false;
  std::stop_token stop;
};

enum class WaitOutcome { kReady, kTimedOut, kGone, kStopped };

// Polls `ready` until it holds or `timeout_seconds` have passed since the
// call. Each round: time test, stop test, host events, `gone` (when given),
// `ready`, then `sleep(limit)`, which returns when something may have
// changed or `limit` has passed. `gone` is asked before `ready` because
// asking may take in the awaited bytes; once it holds and they are not
// there, they can no longer come and the wait ends early.
WaitOutcome Wait(double timeout_seconds, const WaitControl& control,
                 const std::function<bool()>& ready,
                 const std::function<void(std::chrono::milliseconds)>& sleep,
                 const std::function<bool()>& gone = nullptr);

// The same with the host's events running and no stop: true when `ready`
// held.
bool WaitUntil(double timeout_seconds, const std::function<bool()>& ready,
               const std::function<void(std::chrono::milliseconds)>& sleep,
               const std::function<bool()>& gone = nullptr);

// Sleeps for `milliseconds` without running host events.
void Pause(int milliseconds);

// Sleeps for `milliseconds`, or less when a stop is requested; true when the
// whole pause passed.
bool Pause(int milliseconds, const std::stop_token& stop);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_WAIT_H_
