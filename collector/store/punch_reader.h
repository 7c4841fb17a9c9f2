// The readers' side of the store (store.h): the dashboard, the API, export
// and timesheets, the live feed and the sinks.
#ifndef TALLYGATE_COLLECTOR_STORE_PUNCH_READER_H_
#define TALLYGATE_COLLECTOR_STORE_PUNCH_READER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "collector/base/punch.h"
#include "collector/base/sink.h"
#include "collector/store/store_error.h"

namespace tallygate::collector {

// Which punches an export or a search wants. Dates are the terminal's local
// dates, inclusive; a punch with no valid date is in no date range.
struct PunchFilter {
  std::optional<LocalTime> from;  // local time >= from
  std::optional<LocalTime> to;    // local time < to
  std::optional<std::string> terminal;
  std::optional<uint32_t> card;
  // The holder's name on the punch's terminal's card list contains this
  // text (letters A-Z without regard to case; % and _ are plain text). An
  // empty text is no condition.
  std::optional<std::string> name;
  std::vector<std::string> terminals;  // one of these; empty: any
};

// Where a page of a search ended: the next page starts after this punch.
// Searches run newest first (local time, then id, descending); punches with
// no valid date come after every dated one.
struct PunchCursor {
  std::optional<LocalTime> local;  // absent: the punch had no valid date
  int64_t id = 0;
  bool operator==(const PunchCursor&) const = default;
};

// "2026-12-01T08:59:12.4711" or "-.4711" (no date); what a page's link
// carries.
std::string PunchCursorText(const PunchCursor& cursor);
// The cursor `text` names; absent when it is not one.
std::optional<PunchCursor> PunchCursorFromText(std::string_view text);

// A punch with what the card lists know of its card.
struct PunchRow {
  int64_t id = 0;  // the store's, in the order punches were stored
  std::string terminal;
  Punch punch;
  std::string staff;  // empty when the card is on no card list
  std::string name;
};

// One page of a search: at most `limit` rows, newest first.
struct PunchPage {
  std::vector<PunchRow> rows;
  std::optional<PunchCursor> next;  // absent on the last page
};

// What the store holds, read: terminals' states and polls, punches by search,
// export and timesheet, and the punches after an id, as the live feed and
// the sinks follow them.
class PunchReader {
 public:
  virtual ~PunchReader() = default;

  // Every terminal the store knows, by name.
  virtual std::vector<TerminalState> States() = 0;

  // The terminal's recent collections, newest first; every terminal's when
  // `terminal` is empty.
  virtual std::vector<Collection> Collections(const std::string& terminal, int limit) = 0;

  // The page of punches `filter` selects that follows `after` (the first
  // page without it): at most `limit` rows (none when it is below 1), newest
  // first. Answers from the indexes with any one condition of the filter,
  // however many punches the store holds.
  virtual PunchPage SearchPunches(const PunchFilter& filter,
                                  const std::optional<PunchCursor>& after, int limit) = 0;

  // Calls `row` for every punch `filter` selects, by terminal then local
  // time then position, without holding them all in memory.
  virtual void ForEachPunch(const PunchFilter& filter,
                            const std::function<void(const PunchRow&)>& row) = 0;

  // Calls `row` for every punch `filter` selects by card, then local time,
  // its staff and name those of the card's holder: the wanted lists'
  // cardholder (revoked or not) where the card has one, else its entry on
  // the punch's terminal's list, else (the name only) a name a list gave it
  // before. Then, by card, every punch without a valid date the filter
  // would select but for its dates. Without holding them all in memory.
  virtual void ForEachHolderPunch(const PunchFilter& filter,
                                  const std::function<void(const PunchRow&)>& row) = 0;

  // Per hour of the terminals' clocks from `from` (included) to `to`, by
  // hour: how many punches `terminal` (every terminal when empty) has.
  // Hours without punches are left out. One grouped walk of a time index.
  virtual std::vector<HourCount> PunchesPerHour(const std::string& terminal, LocalTime from,
                                                LocalTime to) = 0;

  // Up to `limit` punches after the id `after`, by id, with staff and name
  // as ForEachHolderPunch gives them.
  virtual std::vector<PunchRow> PunchesAfter(int64_t after, int limit) = 0;

  // The id of the newest punch; 0 before the first.
  virtual int64_t LastPunchId() = 0;

  // How many punches follow the id `after`, and the oldest of them.
  virtual SinkBacklog Backlog(int64_t after) = 0;

  // Per terminal with punches after the id `after`: the time of the oldest
  // of them (its UTC time, else when it was stored).
  virtual std::vector<std::pair<std::string, UtcTime>> OldestAfter(int64_t after) = 0;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_PUNCH_READER_H_
