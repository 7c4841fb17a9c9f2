// How far an HR system's auto-attendance may look: the latest time up to
// which every terminal's punches are both stored and delivered. A terminal
// that is unreachable, or whose punches wait to be delivered, holds it
// back; it is never later than what the HR system has been given.
#ifndef TALLYGATE_COLLECTOR_DELIVER_SHIFT_SYNC_H_
#define TALLYGATE_COLLECTOR_DELIVER_SHIFT_SYNC_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/base/punch.h"

namespace tallygate::collector {

struct SyncTerminal {
  std::string name;
  std::string time_zone;  // the check-ins' times are on its clock
};

struct ShiftSync {
  std::optional<LocalTime> time;  // absent while a terminal was never polled
  std::string held_by;            // the terminal that sets it
};

// For each of `terminals`: its punches are all stored up to its state's
// complete_to, and all delivered up to just before its oldest punch in
// `undelivered` (per terminal, the oldest punch after the sink's position);
// the earliest of those, on the terminal's clock.
ShiftSync ShiftSyncTime(const std::vector<SyncTerminal>& terminals,
                        const std::vector<TerminalState>& states,
                        const std::vector<std::pair<std::string, UtcTime>>& undelivered);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_SHIFT_SYNC_H_
