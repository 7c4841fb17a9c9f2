// `tallygate-collector timesheet --from DAY --to DAY [--terminal NAME |
// --group G] [--format csv|jsonl]`: a row per card and working day
// (collector/export/timesheet.h), on standard output; how many undated
// punches were listed apart is said on standard error.
#ifndef TALLYGATE_COLLECTOR_APP_TIMESHEET_COMMAND_H_
#define TALLYGATE_COLLECTOR_APP_TIMESHEET_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>

#include "collector/config/config.h"

namespace tallygate::collector {

struct TimesheetOptions {
  std::string from, to, terminal, group, format = "csv";
};

// Adds `timesheet` to `app`, its values going to `options`.
CLI::App* AddTimesheetCommand(CLI::App& app, TimesheetOptions& options);

// Runs it on the store the configuration names (opened only once the
// options are found good). Returns the exit status: 0 done, 1 standard
// output failed, 2 a bad option; throws StoreError.
int RunTimesheet(const TimesheetOptions& options, const CollectorConfig& config);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_TIMESHEET_COMMAND_H_
