// What the dashboard says of each terminal: the store's state joined with
// the configuration, and whether the terminal answers.
//
//   never-polled  no poll recorded
//   answering     the last poll succeeded
//   backing-off   the last poll failed, failing for less than three poll
//                 intervals: a passing fault, retried at backoff_until
//   unreachable   failing for three poll intervals or more
//   busy          another program holds its line (since the last poll);
//                 tried again every few seconds, not a failure
//
// A terminal is stale when it has not answered for three of its poll
// intervals and the minute in which an answer with nothing new may not be
// written yet (kQuietWrite): its last success (or, never successful, the
// start of its failures) is older than that.
#ifndef TALLYGATE_COLLECTOR_WEB_TERMINAL_VIEW_H_
#define TALLYGATE_COLLECTOR_WEB_TERMINAL_VIEW_H_

#include <chrono>
#include <vector>

#include "collector/config/config.h"
#include "collector/base/punch.h"

namespace tallygate::collector::web {

// kWrongTerminal: its address answers with another terminal's memory (held).
enum class Answering { kNeverPolled, kAnswering, kBackingOff, kUnreachable, kBusy, kWrongTerminal };

// "never-polled", "answering", "backing-off", "unreachable", "busy",
// "wrong-terminal".
const char* AnsweringName(Answering answering);

struct TerminalView {
  TerminalState state;
  bool configured = true;  // false: known to the store only
  std::chrono::seconds poll_interval{60};
  Answering answering = Answering::kNeverPolled;
  bool stale = false;
};

// The configured terminals in the configuration's order (those the store
// does not know yet as never polled), then those only the store knows.
std::vector<TerminalView> ViewTerminals(const std::vector<TerminalState>& states,
                                        const CollectorConfig& config, UtcTime now);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_TERMINAL_VIEW_H_
