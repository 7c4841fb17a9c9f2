#include "collector/deliver/shift_sync.h"

#include <algorithm>

#include "collector/base/time_zone.h"

namespace tallygate::collector {

ShiftSync ShiftSyncTime(const std::vector<SyncTerminal>& terminals,
                        const std::vector<TerminalState>& states,
                        const std::vector<std::pair<std::string, UtcTime>>& undelivered) {
  ShiftSync sync;
  for (const SyncTerminal& terminal : terminals) {
    const auto state = std::find_if(states.begin(), states.end(), [&](const TerminalState& s) {
      return s.info.name == terminal.name;
    });
    if (state == states.end() || !state->complete_to) return {std::nullopt, terminal.name};
    UtcTime up_to = *state->complete_to;
    for (const auto& [name, oldest] : undelivered) {
      if (name == terminal.name) up_to = std::min(up_to, oldest - std::chrono::seconds(1));
    }
    const LocalTime local = ToLocal(up_to, terminal.time_zone);
    if (!sync.time || local < *sync.time) sync = {local, terminal.name};
  }
  return sync;
}

}  // namespace tallygate::collector
