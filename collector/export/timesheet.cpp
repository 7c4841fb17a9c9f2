#include "collector/export/timesheet.h"

#include <nlohmann/json.hpp>

#include "collector/base/time_text.h"
#include "collector/base/value_text.h"
#include "common/csv/csv_field.h"

namespace tallygate::collector {
namespace {

// "8:05": whole hours, then minutes; the seconds left over are dropped.
std::string SpanText(std::chrono::seconds span) {
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(span).count();
  const auto rest = minutes % 60;
  return std::to_string(minutes / 60) + (rest < 10 ? ":0" : ":") + std::to_string(rest);
}

nlohmann::ordered_json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

}  // namespace

TimesheetText TimesheetTextOf(const TimesheetRow& row) {
  TimesheetText text;
  if (row.day) text.day = DayText(*row.day);
  if (row.first && row.last) {
    text.first = LocalTimeText(*row.first);
    text.last = LocalTimeText(*row.last);
    text.span = SpanText(*row.last - *row.first);
  }
  return text;
}

LocalDay WorkingDay(LocalTime local, std::chrono::minutes day_starts) {
  return std::chrono::floor<std::chrono::days>(local - day_starts);
}

void TimesheetDays::Add(const PunchRow& punch) {
  const std::optional<LocalTime>& local = punch.punch.local;
  const std::optional<LocalDay> day =
      local ? std::optional(WorkingDay(*local, day_starts_)) : std::nullopt;
  if (open_now_ && (open_.card != punch.punch.card || open_.day != day)) Finish();
  if (!open_now_) {
    open_ = TimesheetRow{day, punch.punch.card, punch.staff, punch.name, local, local, 0};
    open_now_ = true;
  }
  // A punch at a terminal whose list lacks the card names nobody.
  if (open_.staff.empty()) open_.staff = punch.staff;
  if (open_.name.empty()) open_.name = punch.name;
  open_.last = local;
  ++open_.punches;
}

void TimesheetDays::Finish() {
  if (open_now_) done_(open_);
  open_now_ = false;
}

void ReadTimesheet(PunchReader& store, const PunchFilter& filter, std::chrono::minutes day_starts,
                   const std::function<void(const TimesheetRow&)>& row) {
  TimesheetDays days(day_starts, row);
  store.ForEachHolderPunch(filter, [&](const PunchRow& punch) { days.Add(punch); });
  days.Finish();
}

std::string TimesheetHeader(ExportFormat format) {
  if (format != ExportFormat::kCsv) return {};
  return "day,card_hex,card,staff,name,first,last,punches,span,single\r\n";
}

std::string TimesheetLine(const TimesheetRow& row, ExportFormat format) {
  const TimesheetText text = TimesheetTextOf(row);
  const bool single = row.day && row.punches == 1;
  if (format == ExportFormat::kJsonLines) {
    const nlohmann::ordered_json line = {
        {"day", TextOrNull(text.day)},     {"card_hex", CardHex(row.card)},
        {"card", row.card},                {"staff", row.staff},
        {"name", row.name},                {"first", TextOrNull(text.first)},
        {"last", TextOrNull(text.last)},   {"punches", row.punches},
        {"span", TextOrNull(text.span)},   {"single", single}};
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  return csv::Line({text.day, CardHex(row.card), std::to_string(row.card),
                    SpreadsheetText(row.staff), SpreadsheetText(row.name), text.first, text.last,
                    std::to_string(row.punches), text.span, single ? "1" : "0"});
}

}  // namespace tallygate::collector
