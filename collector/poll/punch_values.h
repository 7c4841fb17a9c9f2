// A terminal's record and card entry as the collector keeps them: the
// record's identity bytes, and its local time placed in the terminal's time
// zone (base/time_zone.h).
#ifndef TALLYGATE_COLLECTOR_POLL_PUNCH_VALUES_H_
#define TALLYGATE_COLLECTOR_POLL_PUNCH_VALUES_H_

#include <optional>
#include <string>

#include "collector/base/punch.h"
#include "tallygate/terminal.h"

namespace tallygate::collector {

// The punch of `record`; its UTC time in `zone`.
Punch PunchOf(const AttendanceRecord& record, const std::string& zone);

// The card-list entry of `entry`, its name without padding.
CardEntry CardOf(const tallygate::CardEntry& entry);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_PUNCH_VALUES_H_
