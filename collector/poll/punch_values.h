// A terminal's record as the collector keeps it: its identity bytes, and
// its local time placed in the terminal's time zone.
#ifndef TALLYGATE_COLLECTOR_POLL_PUNCH_VALUES_H_
#define TALLYGATE_COLLECTOR_POLL_PUNCH_VALUES_H_

#include <optional>
#include <string>

#include "collector/store/punch.h"
#include "tallygate/terminal.h"

namespace tallygate::collector {

// The UTC time of `local` in the IANA zone `zone`; absent when the zone is
// unknown. A local time that falls twice (clocks going back) takes the
// earlier; one that does not exist (clocks going forward) takes the moment
// of the change.
std::optional<UtcTime> ToUtc(LocalTime local, const std::string& zone);

// The punch of `record`; its UTC time in `zone`.
Punch PunchOf(const AttendanceRecord& record, const std::string& zone);

// The card-list entry of `entry`, its name without padding.
CardEntry CardOf(const tallygate::CardEntry& entry);

// The terminal's local time now, in `zone` (the host's UTC clock placed in
// the zone; the host's own zone when `zone` is unknown).
LocalTime LocalNow(const std::string& zone);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_PUNCH_VALUES_H_
