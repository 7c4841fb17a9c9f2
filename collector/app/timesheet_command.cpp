#include "collector/app/timesheet_command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>

#include "collector/export/timesheet.h"
#include "collector/store/store.h"
#include "collector/store/value_text.h"

namespace tallygate::collector {
namespace {

constexpr int kBadInput = 2;

// The punches the options select, or a message saying which option is wrong.
std::optional<PunchFilter> FilterOf(const TimesheetOptions& options, const CollectorConfig& config,
                                    std::string& problem) {
  const std::optional<LocalDay> from = ParseDay(options.from);
  const std::optional<LocalDay> to = ParseDay(options.to);
  if (!from || !to) {
    problem = std::string(!from ? "--from" : "--to") + " needs a date as YYYY-MM-DD, not \"" +
              (!from ? options.from : options.to) + "\"";
    return std::nullopt;
  }
  if (*from > *to) {
    problem = "--from " + options.from + " is after --to " + options.to;
    return std::nullopt;
  }
  PunchFilter filter;
  // Working days, each from day_starts to day_starts the day after.
  filter.from = LocalTime{*from} + config.day_starts;
  filter.to = LocalTime{*to + std::chrono::days{1}} + config.day_starts;
  const auto& terminals = config.terminals;
  if (!options.terminal.empty()) {
    if (std::none_of(terminals.begin(), terminals.end(),
                     [&](const TerminalConfig& t) { return t.name == options.terminal; })) {
      problem =
          "--terminal " + options.terminal + ": no such terminal in " + config.source.string();
      return std::nullopt;
    }
    filter.terminal = options.terminal;
  }
  if (!options.group.empty()) {
    for (const TerminalConfig& terminal : terminals) {
      if (std::ranges::find(terminal.groups, options.group) != terminal.groups.end()) {
        filter.terminals.push_back(terminal.name);
      }
    }
    if (filter.terminals.empty()) {
      problem = "--group " + options.group + ": no terminal in " + config.source.string() +
                " has that group";
      return std::nullopt;
    }
  }
  return filter;
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
  std::string problem;
  const std::optional<PunchFilter> filter = FilterOf(options, config, problem);
  if (!filter) {
    std::cerr << "tallygate-collector: timesheet: " << problem << "\n";
    return kBadInput;
  }
  const ExportFormat format =
      options.format == "jsonl" ? ExportFormat::kJsonLines : ExportFormat::kCsv;
  const auto write = [](const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
  };
  int64_t undated = 0;
  TimesheetDays days(config.day_starts, [&](const TimesheetRow& row) {
    if (!row.day) undated += row.punches;
    write(TimesheetLine(row, format));
  });
  const std::unique_ptr<Store> store = OpenStore(config.database);
  write(TimesheetHeader(format));
  store->ForEachHolderPunch(*filter, [&](const PunchRow& punch) { days.Add(punch); });
  days.Finish();
  if (undated > 0) {
    std::cerr << "tallygate-collector: timesheet: " << undated
              << " punches without a valid date listed apart, in the rows with no day\n";
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace tallygate::collector
