#include "collector/web/timesheet_query.h"

#include "collector/export/timesheet.h"
#include "collector/base/value_text.h"
#include "collector/web/html.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {
namespace {

constexpr int kDefaultDays = 7;

}  // namespace

TimesheetChoice ReadTimesheetChoice(const httplib::Request& request, const CollectorConfig& config,
                                    LocalTime now) {
  const LocalDay today = WorkingDay(now, config.day_starts);
  const auto value = [&](const char* name) { return Param(request, name).value_or(""); };
  TimesheetChoice choice{value("from"), value("to"), value("terminal"), value("group")};
  if (choice.to.empty()) choice.to = DayText(today);
  if (choice.from.empty()) choice.from = DayText(today - std::chrono::days{kDefaultDays - 1});
  return choice;
}

PunchFilter TimesheetFilter(const TimesheetChoice& choice, const CollectorConfig& config) {
  TimesheetRange range = TimesheetRangeOf(choice, config);
  switch (range.fault) {
    case TimesheetFault::kNone: return std::move(range.filter);
    case TimesheetFault::kBadFrom: throw BadField("from", Msg::kBadDate, choice.from);
    case TimesheetFault::kBadTo: throw BadField("to", Msg::kBadDate, choice.to);
    case TimesheetFault::kFromAfterTo: throw BadField("from", Msg::kFromAfterTo, choice.from);
    case TimesheetFault::kTerminalAndGroup:
      throw BadField("group", Msg::kTerminalOrGroup, choice.group);
    case TimesheetFault::kNoSuchTerminal:
      throw BadField("terminal", Msg::kUnknownTerminal, choice.terminal);
    case TimesheetFault::kNoSuchGroup: break;
  }
  throw BadField("group", Msg::kUnknownGroup, choice.group);
}

std::string TimesheetQueryText(const TimesheetChoice& choice) {
  std::string query = "from=" + UrlEncoded(choice.from) + "&to=" + UrlEncoded(choice.to);
  if (!choice.terminal.empty()) query += "&terminal=" + UrlEncoded(choice.terminal);
  if (!choice.group.empty()) query += "&group=" + UrlEncoded(choice.group);
  return query;
}

}  // namespace tallygate::collector::web
