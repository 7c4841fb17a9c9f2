// What the fleet's polls came to since the collector started, for the
// dashboard's /metrics: each terminal's last poll duration and its failed
// polls by kind, and the store errors of the whole process. Safe from any
// thread: the fleet's workers record, the web server reads.
#ifndef TALLYGATE_COLLECTOR_POLL_POLL_METRICS_H_
#define TALLYGATE_COLLECTOR_POLL_POLL_METRICS_H_

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "collector/store/punch.h"

namespace tallygate::collector {

// The kinds of failed polls counted: "unreachable", "partial",
// "store_failed".
inline constexpr const char* kPollErrorKinds[] = {"unreachable", "partial", "store_failed"};

struct TerminalPollMetrics {
  std::optional<std::chrono::duration<double>> last_duration;
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

#endif  // TALLYGATE_COLLECTOR_POLL_POLL_METRICS_H_
