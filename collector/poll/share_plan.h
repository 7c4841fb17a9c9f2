// How collectors sharing a fleet on one database split it evenly, worked
// out by each of them from the same picture of who holds what: the units
// (a TCP terminal, or a serial bus whole) go to the live collectors so that
// their counts differ by one at most, the extra ones to those that hold the
// most already, ties to the lower id. A collector above its share gives up
// its surplus only as far as those below theirs cannot fill up from free
// units; a collector below its share takes free units up to it. Nothing else
// moves, so a balanced fleet stays as it is and a hand-over moves each unit
// once.
#ifndef TALLYGATE_COLLECTOR_POLL_SHARE_PLAN_H_
#define TALLYGATE_COLLECTOR_POLL_SHARE_PLAN_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tallygate::collector {

// What one collector sees at a round.
struct ShareRound {
  std::string me;
  std::vector<std::string> collectors;  // live, sharing the fleet (me among them)
  // By unit: its holder's id; "" for a process outside the share, whose
  // units are left out of it; absent while free.
  std::vector<std::optional<std::string>> holders;
  // By unit: at how many rounds in a row before this one it was seen free.
  // One free for two rounds is taken whatever the shares say: the
  // collector whose share it was did not take it.
  std::vector<int> free_rounds;
};

struct SharePlan {
  size_t units = 0;  // shared: not held outside
  size_t share = 0;  // this collector's
  std::vector<size_t> release;  // units of its own to give up
  std::vector<size_t> take;     // free units to try, in order
  size_t wanted = 0;            // how many of them to take at most
};

SharePlan PlanShare(const ShareRound& round);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_SHARE_PLAN_H_
