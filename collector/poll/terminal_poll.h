// One poll of one terminal: incremental, verified, committed page by page.
//
// The store keeps each terminal's mark: how many of its positions are
// stored, and the bytes of the last. A poll asks for the count (one
// exchange), then:
//   count > mark      fetch from the last stored position; that record (the
//                     overlap) must still be the same, or the terminal was
//                     cleared and refilled: fetch from position 0 instead.
//   count < mark      the terminal was cleared: fetch from position 0.
//   count == mark     nothing new; the last stored record is fetched and
//                     compared at least every verify_interval, and when
//                     `verified` was forgotten (a start, a new TCP
//                     connection), so a terminal cleared and refilled to
//                     the same count is noticed; on a bus in turns with
//                     the others' record polls (upkeep_allowed).
// Each page's punches and the mark move in one transaction, and the mark
// moves only over a run of positions stored without a gap, so a crash, a
// lost page or a store that fails loses nothing and stores nothing twice
// (a punch is its terminal and its twelve bytes).
//
// With clear_above = N a terminal holding more than N records, all of them
// committed and the last confirmed, is cleared when a second count still
// agrees; a punch made between that count and the clear cannot be
// protected (the window is measured and logged).
#ifndef TALLYGATE_COLLECTOR_POLL_TERMINAL_POLL_H_
#define TALLYGATE_COLLECTOR_POLL_TERMINAL_POLL_H_

#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "collector/config/config.h"
#include "collector/cards/wanted_cards.h"
#include "collector/store/store.h"
#include "tallygate/terminal.h"

namespace tallygate::collector {

using SteadyTime = std::chrono::steady_clock::time_point;

// What the collector remembers of a terminal between polls.
struct TerminalRuntime {
  const TerminalConfig* config = nullptr;
  std::unique_ptr<Line> line;          // a TCP terminal's own connection
  SteadyTime next_due{};               // the next poll
  int failures = 0;                    // unanswered or unstored polls in a row
  std::optional<SteadyTime> verified;  // the last stored record last confirmed
  std::optional<std::chrono::sys_days> cards_day;  // card list last collected
  std::optional<std::chrono::sys_days> clock_day;  // clock last set
  bool cards_wanted = false;           // collect the card list at the next poll
  bool asked_for = false;              // "poll now": written and said, even if quiet
  // Whether this poll may also do one job of the terminal's upkeep: its last
  // stored record read again (verify_interval, or unconfirmed since a
  // start), or else the day's card list and clock. The fleet says so (on a
  // bus, in turns: fleet.cpp); `upkeep_done` tells it the poll did one.
  // Only a bus's run keeps to one job a poll (`upkeep_one_job`): a TCP
  // terminal's line is its own, and a once run does all of it.
  bool upkeep_allowed = true;
  bool upkeep_one_job = false;
  bool upkeep_done = false;
  bool registered = false;             // saved in the store's terminals
  bool claimed = false;                // this process polls it (Store::ClaimTerminal)
  std::optional<SteadyTime> busy_since;  // its line held by another program
  bool reported_busy = false;          // the last poll ended busy
  // The terminal whose memory this one's address answers with (held).
  std::optional<std::string> memory_of;
  // The count of the last poll written to the store, when it was complete
  // without an error; and when the terminal's answer was last written. A
  // poll just like it that finds nothing new is quiet: written at most every
  // kQuietWrite (Store::RecordAnswer).
  std::optional<int32_t> quiet_count;
  SteadyTime answer_written{};
  // The card lists' work (card_work.h): what it was last planned from, and
  // the changes still to make.
  int64_t cards_planned_version = -1;
  std::optional<LocalDay> cards_planned_day;
  bool cards_list_changed = true;      // collected or changed since planned
  std::vector<PendingCard> cards_pending;
};

// The longest backoff of a terminal that does not answer.
inline constexpr std::chrono::seconds kMaxBackoff{300};

// A terminal whose line another program holds is tried again this soon
// (over TCP for TerminalConfig::busy_limit, then it is unreachable).
inline constexpr std::chrono::seconds kBusyRetry{5};

// Whether `code` on a line means another program holds it: a serial device
// already open; over TCP, a connection refused, or closed by the terminal,
// which serves one client at a time and lets a new one take over.
bool HeldByAnother(ErrorCode code);

// The store as a poll uses it: the ledger it collects into, and the card
// lists it collects and keeps. A Store is both.
struct PollStores {
  PollStores(Store& store) : ledger(store), cards(store) {}  // NOLINT(google-explicit-constructor)
  PollStores(PollLedger& poll_ledger, CardBook& card_book) : ledger(poll_ledger), cards(card_book) {}
  PollLedger& ledger;
  CardBook& cards;
};

// Polls the terminal of `runtime` over `line` (its own, or its bus's), logs
// the poll (at debug when it found nothing new), records it in the
// collections table (a quiet poll only as kQuietWrite allows) and sets the
// runtime's next due time (the poll interval; a backoff doubling up to kMaxBackoff after a
// failure; kBusyRetry when another program took the line over). Never
// throws: a store that fails is an outcome.
// With `wanted`, the terminal's card list is then brought to the wanted
// lists (card_work.h) once its records are collected.
Collection PollTerminal(Line& line, TerminalRuntime& runtime, PollStores stores,
                        const std::stop_token& stop, const WantedSnapshot* wanted = nullptr);

// Adds `text` to the collection's error ("; " between).
void AppendError(Collection& collection, const std::string& text);

// Records a poll whose line could not be opened, as PollTerminal records an
// unreachable terminal, or a busy one when another program holds the line
// (in the store only when it becomes busy, not at every try).
Collection RecordLineFailure(TerminalRuntime& runtime, PollLedger& store, const Error& error);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_TERMINAL_POLL_H_
