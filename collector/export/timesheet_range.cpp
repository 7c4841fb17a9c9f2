#include "collector/export/timesheet_range.h"

#include <algorithm>

#include "collector/base/value_text.h"

namespace tallygate::collector {

TimesheetRange TimesheetRangeOf(const TimesheetChoice& choice, const CollectorConfig& config) {
  TimesheetRange range;
  const std::optional<LocalDay> from = ParseDay(choice.from);
  const std::optional<LocalDay> to = ParseDay(choice.to);
  const auto& terminals = config.terminals;
  if (!from) {
    range.fault = TimesheetFault::kBadFrom;
  } else if (!to) {
    range.fault = TimesheetFault::kBadTo;
  } else if (*from > *to) {
    range.fault = TimesheetFault::kFromAfterTo;
  } else if (!choice.terminal.empty() && !choice.group.empty()) {
    range.fault = TimesheetFault::kTerminalAndGroup;
  } else if (!choice.terminal.empty() &&
             std::none_of(terminals.begin(), terminals.end(),
                          [&](const TerminalConfig& t) { return t.name == choice.terminal; })) {
    range.fault = TimesheetFault::kNoSuchTerminal;
  }
  if (range.fault != TimesheetFault::kNone) return range;
  PunchFilter& filter = range.filter;
  filter.from = LocalTime{*from} + config.day_starts;
  filter.to = LocalTime{*to + std::chrono::days{1}} + config.day_starts;
  if (!choice.terminal.empty()) filter.terminal = choice.terminal;
  if (choice.group.empty()) return range;
  for (const TerminalConfig& terminal : terminals) {
    if (std::ranges::find(terminal.groups, choice.group) != terminal.groups.end()) {
      filter.terminals.push_back(terminal.name);
    }
  }
  if (filter.terminals.empty()) range.fault = TimesheetFault::kNoSuchGroup;
  return range;
}

}  // namespace tallygate::collector
