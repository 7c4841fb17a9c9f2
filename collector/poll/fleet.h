// The fleet: every configured terminal, polled at its interval.
//
// Terminals on one serial device are one bus, polled in turn by one worker
// over one line. TCP terminals are polled in parallel by a bounded pool
// (tcp_parallel workers), each over its own connection. A terminal that does
// not answer backs off (its poll interval, doubling up to five minutes)
// without holding up the others: a worker moves on to the next terminal due.
//
// Lines are shared with people's programs: a TCP connection is closed after
// each poll, and a bus's serial device once nothing on it is due, unless a
// terminal is polled more often than hold_line_below. A line another
// program holds makes its terminal busy, tried again in a few seconds.
//
// Collectors sharing a PostgreSQL database share the fleet evenly while
// they run (fleet_share.h): each polls the terminals and buses it claims,
// and gives one up only between its polls, its line closed. A once run
// polls whatever no other collector holds.
#ifndef TALLYGATE_COLLECTOR_POLL_FLEET_H_
#define TALLYGATE_COLLECTOR_POLL_FLEET_H_

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/poll/fleet_share.h"
#include "collector/base/poll_metrics.h"
#include "collector/cards/wanted_cards.h"
#include "collector/poll/terminal_poll.h"

namespace tallygate::collector {

class Fleet {
 public:
  // `config` and `store` outlive the fleet; the fleet's threads share
  // `store`. `metrics`, when given, outlives it too and receives every
  // finished poll.
  Fleet(const CollectorConfig& config, PollStores store, PollMetrics* metrics = nullptr);
  ~Fleet();
  Fleet(const Fleet&) = delete;
  Fleet& operator=(const Fleet&) = delete;

  // Polls until `stop` is requested, then returns once every worker has
  // finished the page it was storing.
  void Run(std::stop_token stop);

  // Polls every terminal once (buses and the pool in parallel); returns one
  // collection per terminal, in the configuration's order.
  std::vector<Collection> PollOnce(std::stop_token stop);

  // Polls `terminal` (and collects its card list) as soon as a worker is
  // free, in a poll that starts after this call: a poll running now does
  // not take the request. False when no terminal has that name.
  bool PollNow(const std::string& terminal);

  // How often the store's cardholders are looked at for a change, which
  // wakes the workers of every terminal it concerns.
  static constexpr std::chrono::milliseconds kCardsWatch{250};

 private:
  struct Group;  // a bus, or the TCP pool
  // A worker of `group`: picks the terminal due, polls it, and again.
  void Work(Group& group, bool once, const std::stop_token& stop);
  // With `lock` (the group's) held: the terminal to poll now, else after a
  // wait kLookAgain, or kNoneLeft when a once run has none left for this
  // worker.
  static constexpr size_t kLookAgain = static_cast<size_t>(-1);
  static constexpr size_t kNoneLeft = static_cast<size_t>(-2);
  size_t NextDue(Group& group, bool once, std::unique_lock<std::mutex>& lock,
                 const std::stop_token& stop);
  // Polls `runtime`'s terminal (the lock not held): its claim, its line,
  // the poll, and when it is due again.
  Collection PollOne(Group& group, TerminalRuntime& runtime, std::optional<bool> held,
                     const std::stop_token& stop);
  // With the lock held: the poll of terminal `index` is over (`once_done`:
  // for a once run).
  void Polled(Group& group, size_t index, Collection collection, std::optional<bool> held,
              bool once_done);
  std::vector<std::thread> StartWorkers(bool once, const std::stop_token& stop);
  // Whether the terminal's line stays open between its polls.
  bool HoldsLine(const TerminalConfig& terminal) const;
  // Closes a bus's line that need not be held, with `lock` (the group's)
  // released meanwhile; true when it did.
  bool ReleaseIdleBus(Group& group, std::unique_lock<std::mutex>& lock);
  // Reads the wanted lists again if they changed and wakes the terminals
  // the change concerns; a store that fails is logged and tried again.
  void WatchCards();
  // A round of sharing the fleet when one is due, its moves handed to the
  // workers.
  void Share();
  // Gives up the claims the last round asked the group to, of terminals no
  // worker is polling, with `lock` (the group's) released meanwhile; true
  // when it did.
  bool GiveUp(Group& group, std::unique_lock<std::mutex>& lock);

  const CollectorConfig& config_;
  PollStores store_;
  PollMetrics* metrics_;
  std::vector<std::unique_ptr<Group>> groups_;
  WantedCards wanted_;
  bool cards_unread_ = false;  // the last WatchCards found the store failing
  // How terminals are claimed: each at its poll (a once run, SQLite, and a
  // run until it has joined the other collectors), or as the fleet's share
  // says.
  std::atomic<bool> shared_{false};
  struct UnitPlace {  // a unit of the share: terminals of one group
    Group* group;
    std::vector<size_t> terminals;
  };
  std::vector<UnitPlace> units_;
  std::unique_ptr<FleetShare> share_;  // absent once found alone
  std::chrono::milliseconds share_period_{};
  std::chrono::steady_clock::time_point next_share_{};
  std::chrono::steady_clock::time_point once_started_;
};

// The exit status of `once` for its collections: 1 when the store failed
// for any, else 4 when any answered with another terminal's memory, else 3
// when any was partial, unreachable or still busy, else 0 (a terminal
// another collector polls counts as collected).
int OnceStatus(const std::vector<Collection>& collections);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_FLEET_H_
