// One fetch of a terminal's records into the store: positions `from` to the
// count, stored page by page, each page committed with the mark as far as
// the records run without a gap. With an overlap, position `from` is the
// last stored record: it is compared, not stored, and the mark moves on only
// once it matched. A record at position 0 that is one of the suspects (the
// first records of other terminals' memories) ends the fetch before
// anything is stored.
#ifndef TALLYGATE_COLLECTOR_POLL_RECORD_FETCH_H_
#define TALLYGATE_COLLECTOR_POLL_RECORD_FETCH_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "collector/base/punch.h"
#include "collector/config/config.h"
#include "collector/store/poll_ledger.h"
#include "tallygate/terminal.h"

namespace tallygate::collector {

// What one fetch of records brought.
struct FetchOutcome {
  int32_t fetched = 0;
  int32_t added = 0;
  int32_t pages_lost = 0;
  bool complete = false;           // every position to the count is stored
  bool overlap_differs = false;    // the terminal was cleared and refilled
  bool overlap_confirmed = false;  // the last stored record is still there
  bool suspect = false;            // position 0 is another terminal's first record
  bool stopped = false;            // a stop was asked for
  std::optional<std::string> store_error;
  std::optional<Error> line_error;
};

// Where a fetch starts and what it holds to.
struct FetchPlan {
  int32_t count = 0;  // records on the terminal
  int32_t from = 0;
  Mark mark;             // the store's mark before the fetch
  bool overlap = false;  // `from` is the last stored record
  std::vector<PunchBytes> suspects;
};

// Fetches `plan` over `line` into `store`; `collection` gives the
// collections row the pages are tagged with (made when first needed). Ends
// at once on `stop`, a changed overlap, a suspect or a store failure.
FetchOutcome FetchAndStore(Line& line, const TerminalConfig& terminal, PollLedger& store,
                           const std::function<int64_t()>& collection, const FetchPlan& plan,
                           const std::stop_token& stop);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_RECORD_FETCH_H_
