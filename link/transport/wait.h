// Waiting without spinning, and pauses.
//
// A wait measures elapsed time on a monotonic clock, tests the time before
// anything else (so a wait of 0 seconds fails at once), lets the host's events
// run at least every 20 ms, and otherwise sleeps in the transport until bytes
// arrive or the time is up.
#ifndef TALLYGATE_LINK_TRANSPORT_WAIT_H_
#define TALLYGATE_LINK_TRANSPORT_WAIT_H_

#include <chrono>
#include <functional>

namespace tallygate {

// How long a wait sleeps at most between two runs of the host's events.
inline constexpr std::chrono::milliseconds kEventPumpInterval{20};

// Polls `ready` until it holds or `timeout_seconds` have passed since the
// call. Each round: time test, host events, `ready`, then `sleep(limit)`,
// which returns when something may have changed or `limit` has passed.
// Returns true when `ready` held. `gone`, when given, is tested after `ready`:
// once it holds the awaited bytes can no longer come, and the wait fails
// early.
bool WaitUntil(double timeout_seconds, const std::function<bool()>& ready,
               const std::function<void(std::chrono::milliseconds)>& sleep,
               const std::function<bool()>& gone = nullptr);

// Sleeps for `milliseconds` without running host events.
void Pause(int milliseconds);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_WAIT_H_
