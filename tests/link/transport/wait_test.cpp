// Waiting for bytes on a line: what the wait returns when the bytes, the
// end of the line, a stop and the time limit meet.
#include "link/transport/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <thread>

namespace tallygate {
namespace {

struct WaitCase {
  const char* name;
  bool bytes_come_with_the_gone_check;  // the check itself takes them in
  bool line_ends;
  bool stopped;
  WaitOutcome expected;
};

// A sleep that nothing wakes sleeps out its time: bytes that the gone check
// took in must still be seen, at once, before any sleep.
TEST(WaitTest, OutcomeOfBytesEndsAndStops) {
  const WaitCase cases[] = {
      {"bytes taken in by the gone check", true, false, false, WaitOutcome::kReady},
      {"bytes and the end of the line together", true, true, false, WaitOutcome::kReady},
      {"the end of the line without bytes", false, true, false, WaitOutcome::kGone},
      {"a stop", true, false, true, WaitOutcome::kStopped},
      {"nothing", false, false, false, WaitOutcome::kTimedOut},
  };
  for (const WaitCase& c : cases) {
    bool buffered = false;
    std::stop_source stop;
    if (c.stopped) stop.request_stop();
    const auto start = std::chrono::steady_clock::now();
    const WaitOutcome outcome = Wait(
        0.3, WaitControl{false, stop.get_token()}, [&] { return buffered; },
        [](std::chrono::milliseconds limit) { std::this_thread::sleep_for(limit); },
        [&] {
          if (c.bytes_come_with_the_gone_check) buffered = true;
          return c.line_ends;
        });
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(outcome, c.expected) << c.name;
    if (c.expected != WaitOutcome::kTimedOut) {
      EXPECT_LT(took, std::chrono::milliseconds(200)) << c.name << ": found only after a sleep";
    }
  }
}

}  // namespace
}  // namespace tallygate
