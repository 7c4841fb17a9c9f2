// This collector's part in sharing its fleet with the other collectors on
// one PostgreSQL database (share_plan.h). It joins them under its name
// (CollectorName), then at each round reads who holds what, claims free
// units up to its share and names the units of its own to give up, which
// the fleet's workers release between polls. On SQLite it finds itself
// alone: every terminal is claimed at its poll, as ever.
#ifndef TALLYGATE_COLLECTOR_POLL_FLEET_SHARE_H_
#define TALLYGATE_COLLECTOR_POLL_FLEET_SHARE_H_

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "collector/store/poll_ledger.h"

namespace tallygate::collector {

// "HOST:PID": how the status and the dashboard name this collector.
std::string CollectorName();

class FleetShare {
 public:
  // `units`: the terminals of each unit, a serial bus's all in one.
  explicit FleetShare(std::vector<std::vector<std::string>> units);

  struct Moves {
    bool alone = false;           // the store has one collector: everything is its own
    bool first = false;           // the first round since joining
    std::vector<size_t> mine;     // units it held as the round began
    std::vector<size_t> release;  // to give up between polls
    std::vector<size_t> taken;    // claimed in this round, to be polled at once
  };

  // One round; nothing when the store failed (said once, until it works
  // again).
  std::optional<Moves> Round(PollLedger& store);

  // How often rounds come for a fleet whose shortest poll interval is
  // `interval`: several times an interval, so that a unit given up is taken
  // again within one, and at most every few seconds.
  static std::chrono::milliseconds Period(std::chrono::seconds interval);

 private:
  // Claims the unit's terminals, all or none.
  bool Take(PollLedger& store, size_t unit);

  std::vector<std::vector<std::string>> units_;  // each by name
  std::vector<std::string> terminals_;           // every unit's
  std::string fleet_;                            // its units as one text
  bool joined_ = false;
  bool adopted_ = false;  // a round has read what it held on joining
  bool failing_ = false;
  std::vector<int> free_rounds_;  // by unit
  std::pair<size_t, size_t> said_{};  // collectors and share last logged
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_FLEET_SHARE_H_
