// Whose memory a terminal answers with.
//
// Terminals of this protocol have no serial number: a terminal is known by
// the records it holds. When a poll would start from position 0 on a
// terminal whose mark does not hold (its last stored record is not there,
// or it holds fewer records than stored) or that has no mark yet, its
// address may now reach another terminal (DHCP, a re-cabled port, a typo,
// one terminal under two names). Its records at the positions where every
// other terminal in the store is recognised, its first record and its
// last stored one, are compared with theirs: two unrelated terminals do not
// hold the same two records (card and time to the second) at the same two
// positions by chance. A terminal whose memory is another's is held.
#ifndef TALLYGATE_COLLECTOR_POLL_MEMORY_CHECK_H_
#define TALLYGATE_COLLECTOR_POLL_MEMORY_CHECK_H_

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/store/poll_ledger.h"
#include "tallygate/terminal.h"

namespace tallygate::collector {

struct MemoryVerdict {
  // The terminal in the store whose memory this one answers with; absent
  // when none matches (a genuine clear and refill, or a new terminal).
  std::optional<StoredMemory> other;
  // Whether the terminal was told to take the memory it answers with as its
  // own (Store::AcceptMemory).
  bool accept = false;
  // A record the comparison needed did not come, or the line failed:
  // nothing can be said, and nothing is to be stored this time.
  std::optional<Error> unsure;
};

// Compares the terminal's records (`count` of them) with the marks of the
// other terminals in `store`. Reads only the pages holding the positions
// compared, and none when no other terminal's mark fits in `count`.
// Throws StoreError.
MemoryVerdict RecogniseMemory(Line& line, const TerminalConfig& terminal, int32_t count,
                              PollLedger& store, const std::stop_token& stop);

// The first records of the memories in `known` that a terminal holding
// `count` records could have: a terminal whose record at position 0 is none
// of them holds no memory the store knows, and needs no other read.
std::vector<PunchBytes> FirstRecordsWithin(const KnownMemories& known, int32_t count);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_MEMORY_CHECK_H_
