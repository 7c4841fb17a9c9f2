// tallygate-collector carrying the wanted card lists out on a simulated
// fleet, as cards_bench watches it: the service (`run`) as a child process
// with a configuration of the bench's own, `cards` commands as further
// children, and the store (SQLite in the bench's folder) read from here to
// see when every terminal agrees.
#ifndef TALLYGATE_BENCH_CARD_ROLLOUT_H_
#define TALLYGATE_BENCH_CARD_ROLLOUT_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collector/store/store.h"
#include "tests/collector/collector_process.h"

namespace tallygate::bench {

// A terminal of the configuration: "tcp = ..." or "serial = ...", address.
struct RolloutTerminal {
  std::string name;
  std::string endpoint;  // "tcp = \"127.0.0.1:PORT\"" or "serial = \"/dev/pts/N\""
  int address = 1;
};

// Where the fleet stands on `cards` (every card when empty): how many
// terminal-and-card pairs still wait, and how many ended with the change
// looked for done.
struct Convergence {
  int64_t pending = 0;   // every pending change, of any card
  int64_t done = 0;      // outcomes of the change looked for, without error
  int64_t wanted = 0;    // terminals x cards
  std::string first_error;
  bool reached() const { return pending == 0 && done == wanted; }
  std::string Text() const;
};

class CardRollout {
 public:
  // Writes the configuration (poll_interval 1h: only a change of the lists
  // wakes a worker), and `more_config` after it, into `folder`; the service
  // is not started yet.
  CardRollout(const std::filesystem::path& folder, std::vector<RolloutTerminal> terminals,
              int tcp_parallel, const std::string& more_config = "");
  ~CardRollout();

  // `tallygate-collector cards WORDS...`, waited for; its exit status (-1
  // when it did not end within two minutes).
  int Cards(const std::vector<std::string>& words);
  // What the last Cards command printed.
  std::string CardsLog() const;

  // Starts `tallygate-collector run`, then waits up to `limit` until every
  // terminal has been polled once, complete. False when one was not.
  bool Start(std::chrono::seconds limit);
  // SIGTERM, waited for.
  void Stop();

  // Where the fleet stands on `cards` for the change `change`.
  Convergence Look(const std::vector<uint32_t>& cards, collector::CardChange change);
  // Looks every `every` until Look(...) is reached or `limit` has passed;
  // the time it was first seen reached, or nothing.
  std::optional<std::chrono::steady_clock::time_point> WaitFor(
      const std::vector<uint32_t>& cards, collector::CardChange change,
      std::chrono::milliseconds every,
      std::chrono::seconds limit, Convergence& last);

  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::filesystem::path config_;
  std::vector<RolloutTerminal> terminals_;
  std::unique_ptr<collector::Store> store_;
  std::unique_ptr<testing::Collector> service_;
  int commands_ = 0;
};

}  // namespace tallygate::bench

#endif  // TALLYGATE_BENCH_CARD_ROLLOUT_H_
