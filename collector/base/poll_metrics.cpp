#include "collector/base/poll_metrics.h"

namespace tallygate::collector {
namespace {

// The error kind of an outcome; null for a poll that succeeded.
const char* ErrorKind(Outcome outcome) {
  switch (outcome) {
    case Outcome::kUnreachable: return kPollErrorKinds[0];
    case Outcome::kPartial: return kPollErrorKinds[1];
    case Outcome::kStoreFailed: return kPollErrorKinds[2];
    case Outcome::kWrongTerminal: return kPollErrorKinds[3];
    case Outcome::kComplete:
    case Outcome::kCleared:
    case Outcome::kBusy:              // another program's turn on the line
    case Outcome::kClaimedElsewhere:  // another collector's terminal
      break;
  }
  return nullptr;
}

}  // namespace

void DurationHistogram::Add(std::chrono::duration<double> took) {
  for (size_t i = 0; i < buckets.size(); ++i) {
    if (took.count() <= kPollDurationBounds[i]) ++buckets[i];
  }
  ++count;
  sum += took.count();
}

void PollMetrics::Record(const Collection& collection, std::chrono::duration<double> took) {
  const std::lock_guard lock(mutex_);
  TerminalPollMetrics& terminal = data_.terminals[collection.terminal];
  terminal.durations.Add(took);
  if (const char* kind = ErrorKind(collection.outcome)) ++terminal.errors[kind];
  if (collection.outcome == Outcome::kStoreFailed) ++data_.store_errors;
}

void PollMetrics::RecordStoreError() {
  const std::lock_guard lock(mutex_);
  ++data_.store_errors;
}

PollMetricsSnapshot PollMetrics::Snapshot() const {
  const std::lock_guard lock(mutex_);
  return data_;
}

}  // namespace tallygate::collector
