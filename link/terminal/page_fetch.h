// Page-by-page fetching, shared by the record and card-list fetches.
//
// A page request [4, command, page, check] makes the terminal stream the
// page's units back to back (256 a page, the last page holds the rest); each
// unit is read and checked by itself. A page with positions still missing is
// requested again, up to a budget of attempts; two misses in one attempt end
// that attempt at once. A page with positions still missing after its
// attempts is lost, and three lost pages end the fetch. (The collected
// files' own rule, retry_missing_only false: a page is requested again
// until one attempt misses nothing, and lost when its last attempt missed
// a unit.)
#ifndef TALLYGATE_LINK_TERMINAL_PAGE_FETCH_H_
#define TALLYGATE_LINK_TERMINAL_PAGE_FETCH_H_

#include <cstdint>
#include <functional>
#include <span>

#include "link/protocol/exchange.h"
#include "tallygate/terminal.h"

namespace tallygate {

struct PagePlan {
  const CommandSpec* spec;     // command::kRecordPages or command::kCardPages
  int unit_length;
  int attempts;                // per page
  bool pause_before_attempts;  // 30 ms before every attempt, or once per page
  double unit_wait_seconds;
  // Store the units of an attempt in which a read timed out too, each at the
  // position of its place in the stream (see page_fetch.cpp), when false.
  bool certain_positions = true;
  // Retry a page only while some of its positions are missing, over all
  // its attempts so far; when false, until one attempt misses no unit.
  bool retry_missing_only = true;
};

// The record fetch's plan and the card-list fetch's.
PagePlan RecordPagePlan(double unit_wait_seconds, bool certain_positions = true);
PagePlan CardPagePlan(double unit_wait_seconds, bool certain_positions = true);

// Called for every unit at a position from `from` on whose position is
// certain, at the end of each attempt at its page that lost no bytes (see
// page_fetch.cpp), or for every unit that came when the plan does not ask
// for certain positions: `first` is false when the unit came before, in an
// earlier attempt.
using UnitSink = std::function<void(int32_t position, std::span<const uint8_t> unit, bool first)>;
// Called as each valid unit arrives, with the position it would have (for
// progress only).
using Arrival = std::function<void(int32_t position)>;
// Called as each attempt at a page begins (`done` false) and when the page
// is done (`done` true); see FetchOptions::on_page.
using PageHook = std::function<void(const PageReport& page, bool done)>;

// Fetches positions `from` to count-1 of a terminal that holds `count`
// units. Fails only on a stop request or a `from` outside 0 to count.
Result<FetchReport> FetchPages(FrameExchange& exchange, uint8_t address, int32_t count,
                               int32_t from, const PagePlan& plan, const UnitSink& sink,
                               const Arrival& arrival = nullptr,
                               const PageHook& on_page = nullptr);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TERMINAL_PAGE_FETCH_H_
