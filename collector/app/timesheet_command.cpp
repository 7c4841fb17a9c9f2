#include "collector/app/timesheet_command.h"

#include <cstdio>
#include <iostream>

#include "collector/base/failure.h"
#include "collector/export/timesheet.h"
#include "collector/export/timesheet_range.h"
#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

constexpr int kBadInput = 2;

// The punches the options select. Throws InputError saying which option is
// wrong.
PunchFilter FilterOf(const TimesheetOptions& options, const CollectorConfig& config) {
  TimesheetRange range =
      TimesheetRangeOf({options.from, options.to, options.terminal, options.group}, config);
  const std::string file = config.source.string();
  switch (range.fault) {
    case TimesheetFault::kNone: return std::move(range.filter);
    case TimesheetFault::kBadFrom:
      throw InputError("--from needs a date as YYYY-MM-DD, not \"" + options.from + "\"");
    case TimesheetFault::kBadTo:
      throw InputError("--to needs a date as YYYY-MM-DD, not \"" + options.to + "\"");
    case TimesheetFault::kFromAfterTo:
      throw InputError("--from " + options.from + " is after --to " + options.to);
    case TimesheetFault::kTerminalAndGroup:  // CLI11 refuses both before
      throw InputError("--terminal and --group exclude each other");
    case TimesheetFault::kNoSuchTerminal:
      throw InputError("--terminal " + options.terminal + ": no such terminal in " + file);
    case TimesheetFault::kNoSuchGroup:
      throw InputError("--group " + options.group + ": no terminal in " + file +
                       " has that group");
  }
  throw InputError("the timesheet's options select nothing");  // every fault is named above
}

}  // namespace

CLI::App* AddTimesheetCommand(CLI::App& app, TimesheetOptions& options) {
  CLI::App* command =
      app.add_subcommand("timesheet", "each holder's first and last punch of each working day");
  command->add_option("--from", options.from, "first working day, YYYY-MM-DD")->required();
  command->add_option("--to", options.to, "last working day, YYYY-MM-DD (included)")->required();
  CLI::Option* terminal =
      command->add_option("--terminal", options.terminal, "only this terminal's punches");
  command->add_option("--group", options.group, "only punches of terminals in this group")
      ->excludes(terminal);
  command->add_option("--format", options.format, "csv or jsonl")
      ->check(CLI::IsMember({"csv", "jsonl"}))
      ->capture_default_str();
  return command;
}

int RunTimesheet(const TimesheetOptions& options, const CollectorConfig& config) {
  PunchFilter filter;
  try {
    filter = FilterOf(options, config);
  } catch (const InputError& e) {
    std::cerr << "tallygate-collector: timesheet: " << e.what() << "\n";
    return kBadInput;
  }
  const ExportFormat format =
      options.format == "jsonl" ? ExportFormat::kJsonLines : ExportFormat::kCsv;
  const auto write = [](const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
  };
  int64_t undated = 0;
  const std::unique_ptr<Store> store = OpenStore(config.database);
  write(TimesheetHeader(format));
  ReadTimesheet(*store, filter, config.day_starts, [&](const TimesheetRow& row) {
    if (!row.day) undated += row.punches;
    write(TimesheetLine(row, format));
  });
  if (undated > 0) {
    std::cerr << "tallygate-collector: timesheet: " << undated
              << " punches without a valid date listed apart, in the rows with no day\n";
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace tallygate::collector
