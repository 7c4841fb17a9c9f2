// `tallygate-collector timesheet`: a row per card and working day, as RFC
// 4180 CSV with a header or as JSON lines:
//
//   day,card_hex,card,staff,name,first,last,punches,span,single
//   2026-12-01,0012D687,1234567,00001234,张三,2026-12-01 22:00:00,2026-12-02 06:00:00,2,8:00,0
//
// A working day starts at the configuration's day_starts on the
// terminals' own clocks, so a punch before it counts on the day before.
// first and last are the day's first and last punch (terminal local
// time), span the time between them in hours:minutes (seconds dropped),
// single 1 (JSON: true) when the day has one punch only. staff and name
// are the first the day's punches give (Store::ForEachHolderPunch).
//
// Punches without a valid date belong to no day: after the day rows, a row
// per card with day, first, last and span empty (JSON: null) and their
// count in punches. The text columns get ExportRow's guard against
// formulas.
#ifndef TALLYGATE_COLLECTOR_EXPORT_TIMESHEET_H_
#define TALLYGATE_COLLECTOR_EXPORT_TIMESHEET_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "collector/export/punch_export.h"
#include "collector/store/punch_reader.h"

namespace tallygate::collector {

struct TimesheetRow {
  std::optional<LocalDay> day;  // absent: the card's punches without a date
  uint32_t card = 0;
  std::string staff;
  std::string name;
  std::optional<LocalTime> first;
  std::optional<LocalTime> last;
  int64_t punches = 0;
};

// A row's day, first, last and span as the CSV has them; empty where the
// row has none (the undated).
struct TimesheetText {
  std::string day, first, last, span;
};
TimesheetText TimesheetTextOf(const TimesheetRow& row);

// The working day of a punch at `local` when days start at `day_starts`.
LocalDay WorkingDay(LocalTime local, std::chrono::minutes day_starts);

// Gathers punches given by card, then local time (the undated after the
// dated, as Store::ForEachHolderPunch gives them) into rows: one pass,
// one row held at a time.
class TimesheetDays {
 public:
  TimesheetDays(std::chrono::minutes day_starts, std::function<void(const TimesheetRow&)> done)
      : day_starts_(day_starts), done_(std::move(done)) {}

  void Add(const PunchRow& punch);
  // Hands on the last row.
  void Finish();

 private:
  std::chrono::minutes day_starts_;
  std::function<void(const TimesheetRow&)> done_;
  // The row being counted, while open_now_. Not an optional: GCC 12 at -O3
  // takes the strings of an optional row for uninitialized.
  TimesheetRow open_;
  bool open_now_ = false;
};

// Reads the punches `filter` selects from `store` and hands on their rows,
// by card then working day, the undated last.
void ReadTimesheet(PunchReader& store, const PunchFilter& filter, std::chrono::minutes day_starts,
                   const std::function<void(const TimesheetRow&)>& row);

// The header line (CSV only; empty for JSON lines), CR LF ended.
std::string TimesheetHeader(ExportFormat format);

// One row, CR LF ended for CSV, LF for JSON lines.
std::string TimesheetLine(const TimesheetRow& row, ExportFormat format);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_EXPORT_TIMESHEET_H_
