// What the fleet's polls came to since the collector started, for the
// dashboard's /metrics: each terminal's poll durations as a histogram and
// its failed polls by kind, and the store errors of the whole process.
// Safe from any thread: the fleet's workers record, the web server reads.
// It keeps every terminal it has heard of; which of them /metrics shows is
// the dashboard's choice (those of the configuration it serves).
#ifndef TALLYGATE_COLLECTOR_BASE_POLL_METRICS_H_
#define TALLYGATE_COLLECTOR_BASE_POLL_METRICS_H_

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "collector/base/punch.h"

namespace tallygate::collector {

// The kinds of failed polls counted: "unreachable", "partial",
// "store_failed".
inline constexpr const char* kPollErrorKinds[] = {"unreachable", "partial", "store_failed",
                                                  "wrong_terminal"};

// The upper bounds, in seconds, of the poll duration histogram's buckets
// (+Inf follows): from a poll of a terminal on the LAN with nothing new
// (tens of milliseconds) to a full terminal read over a slow serial line
// or a poll that waits out its timeouts (minutes).
inline constexpr double kPollDurationBounds[] = {0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1,  2.5,
                                                 5,    10,    30,   60,  120,  300, 600};

// Prometheus' histogram: buckets[i] counts the polls that took at most
// kPollDurationBounds[i] (so they only grow with i); count is the +Inf
// bucket.
struct DurationHistogram {
  std::array<uint64_t, std::size(kPollDurationBounds)> buckets{};
  uint64_t count = 0;
  double sum = 0;  // seconds

  void Add(std::chrono::duration<double> took);
};

struct TerminalPollMetrics {
  DurationHistogram durations;
  std::map<std::string, uint64_t> errors;  // by kind; a kind never seen is absent
};

struct PollMetricsSnapshot {
  std::map<std::string, TerminalPollMetrics> terminals;  // by name
  uint64_t store_errors = 0;
};

class PollMetrics {
 public:
  // A finished poll of `collection.terminal` that took `took`. A poll whose
  // store failed counts as a store error too.
  void Record(const Collection& collection, std::chrono::duration<double> took);

  // A store operation that failed outside a poll (a dashboard query).
  void RecordStoreError();

  PollMetricsSnapshot Snapshot() const;

 private:
  mutable std::mutex mutex_;
  PollMetricsSnapshot data_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_POLL_METRICS_H_
