// The timesheet a request asks for: from and to (working days, both
// included; by default the seven up to today's), and a terminal or a group
// of the fleet. A value that is not one is a BadField naming its field.
#ifndef TALLYGATE_COLLECTOR_WEB_TIMESHEET_QUERY_H_
#define TALLYGATE_COLLECTOR_WEB_TIMESHEET_QUERY_H_

#include <httplib.h>

#include <string>

#include "collector/config/config.h"
#include "collector/export/timesheet_range.h"

namespace tallygate::collector::web {

// The request's values, the days filled in where it has none; `now` on
// the terminals' clocks gives today's working day.
TimesheetChoice ReadTimesheetChoice(const httplib::Request& request, const CollectorConfig& config,
                                    LocalTime now);

// The punches `choice` selects. Throws BadField.
PunchFilter TimesheetFilter(const TimesheetChoice& choice, const CollectorConfig& config);

// "from=...&to=..." and the terminal or group chosen: the same timesheet
// as a query string.
std::string TimesheetQueryText(const TimesheetChoice& choice);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_TIMESHEET_QUERY_H_
