// The punches a timesheet reads, from what a person chose: working days
// from and to (YYYY-MM-DD, both included) and at most one terminal or
// group of the fleet. `tallygate-collector timesheet` and the dashboard
// each say a fault in their own words.
#ifndef TALLYGATE_COLLECTOR_EXPORT_TIMESHEET_RANGE_H_
#define TALLYGATE_COLLECTOR_EXPORT_TIMESHEET_RANGE_H_

#include <string>

#include "collector/config/config.h"
#include "collector/store/punch_reader.h"

namespace tallygate::collector {

struct TimesheetChoice {
  std::string from, to;
  std::string terminal, group;  // empty: the whole fleet
};

enum class TimesheetFault {
  kNone,
  kBadFrom,  // from is no date
  kBadTo,    // to is no date
  kFromAfterTo,
  kTerminalAndGroup,  // both chosen
  kNoSuchTerminal,    // not in the configuration
  kNoSuchGroup        // no configured terminal has it
};

struct TimesheetRange {
  PunchFilter filter;
  TimesheetFault fault = TimesheetFault::kNone;
};

// The filter of `choice`: working days from the configuration's
// day_starts to day_starts the day after, and the terminal or the group's
// terminals; or the first fault found, in the order above.
TimesheetRange TimesheetRangeOf(const TimesheetChoice& choice, const CollectorConfig& config);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_EXPORT_TIMESHEET_RANGE_H_
