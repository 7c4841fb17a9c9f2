// The loop every sink runs in its own thread, on its own connection to the
// store, so that a slow receiver never slows collection: claim the sink,
// take up the batch in flight or begin the next, hand it to the sink's
// kind, and keep the outcome. The position moves only when the batch was
// accepted; anything else is tried again with backoff (1 s doubling up to
// 10 min, or the receiver's Retry-After), except a refusal, which stops
// the sink until `deliver retry` resumes it with the same batch.
#ifndef TALLYGATE_COLLECTOR_DELIVER_SINK_WORKER_H_
#define TALLYGATE_COLLECTOR_DELIVER_SINK_WORKER_H_

#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "collector/config/config.h"
#include "collector/feed/punch_follower.h"
#include "collector/feed/punch_signal.h"
#include "collector/store/store.h"

namespace tallygate::collector {

inline constexpr std::chrono::seconds kFirstBackoff{1};
inline constexpr std::chrono::seconds kLongestBackoff{600};

// How one try at a batch ended.
struct Attempt {
  enum class Verdict { kDelivered, kRetry, kRefused };
  Verdict verdict = Verdict::kDelivered;
  std::string reason;  // why not: the receiver's answer, or the failure
  std::optional<std::chrono::seconds> retry_after;
};

// The wait before the next try after `failures` in a row (1 or more), or
// the receiver's Retry-After where that is longer (up to an hour).
std::chrono::seconds RetryWait(int failures, std::optional<std::chrono::seconds> retry_after);

class SinkWorker {
 public:
  SinkWorker(DeliverConfig config, std::string database, PunchSignal& stored);
  virtual ~SinkWorker() = default;

  // Delivers until `stop` is requested.
  void Run(std::stop_token stop);

 protected:
  // The last id of the next batch after `position`, when one is due now,
  // read through follower() and `punches`. Absent: nothing to send yet; the
  // worker waits for news of punches or until `Wake()`.
  virtual std::optional<int64_t> NextBatch(PunchReader& punches, int64_t position) = 0;
  // When the worker should look again without news of punches.
  virtual std::chrono::steady_clock::time_point Wake() = 0;
  // A new batch begins: set what the kind keeps of it in `state`.
  virtual void Begin(SinkState& state) = 0;
  // Tries the batch in flight in `state` (punches after its position up to
  // its batch_last). May keep progress in `state` through `sinks` (a
  // folder's file written).
  virtual Attempt Try(PunchReader& punches, SinkLedger& sinks, SinkState& state) = 0;
  // Work beside the batches, done before the next batch is looked for (an
  // HR sink's refused punches sent again, its Shift Type sync). Saves what
  // it changes in `state`; returns a failure to keep as a try's, or nothing.
  virtual std::optional<Attempt> Upkeep(PunchReader& punches, SinkLedger& sinks,
                                        SinkState& state) {
    (void)punches, (void)sinks, (void)state;
    return std::nullopt;
  }

  const DeliverConfig& config() const { return config_; }
  PunchFollower& follower() { return follower_; }
  // Requested when the sink is to stop: a try in flight gives up.
  const std::stop_token& stopping() const { return stop_; }

 private:
  // One step of the loop: a try, or a wait.
  void Step(std::stop_token stop);
  SinkState LoadOrCreate();
  // Keeps how the try at the batch in flight in `state` ended: the position
  // moves on, a retry is set, or the sink stops.
  void Keep(const Attempt& attempt, SinkState& state);

  const DeliverConfig config_;
  const std::string database_;
  PunchFollower follower_;
  std::unique_ptr<Store> store_;
  std::stop_token stop_;
  int failures_ = 0;           // in a row
  bool others_ = false;        // another collector delivers this sink
  std::chrono::steady_clock::time_point next_try_{};
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_SINK_WORKER_H_
