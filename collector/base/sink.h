// What the store keeps of each place punches are delivered to (a "sink":
// a webhook, a drop folder): how far it has got, the batch it is sending,
// and whether the receiver refused it.
//
// A sink's position is a punch id. Punches are committed in id order
// (PollLedger::StorePage), so "every punch after my position" never leaves out a
// punch committed after one with a higher id, on one collector or on
// several sharing a database.
#ifndef TALLYGATE_COLLECTOR_BASE_SINK_H_
#define TALLYGATE_COLLECTOR_BASE_SINK_H_

#include <cstdint>
#include <optional>
#include <string>

#include "collector/base/punch.h"

namespace tallygate::collector {

struct SinkState {
  std::string name;
  // Every punch up to this id is delivered.
  int64_t position = 0;
  // The batch in flight: punches after `position` up to `batch_last`
  // (0: none), under `batch_id`. A retry, even after a restart, sends the
  // same punches under the same id; a folder's batch is in `batch_file`.
  int64_t batch_last = 0;
  std::string batch_id;
  std::string batch_file;
  // Not empty: the receiver refused the batch in flight with this answer,
  // and the sink waits for `deliver retry`.
  std::string stopped;
  std::optional<UtcTime> stopped_at;
  std::optional<UtcTime> delivered;  // the last batch accepted
  // Tries that failed, ever; why the last one failed ("" after a success).
  int64_t failures = 0;
  std::string last_error;
  // An HR sink's Shift Types: the last sync time they were moved to, on
  // the terminals' clocks as the check-ins' times are.
  std::optional<LocalTime> shift_sync;
  bool operator==(const SinkState&) const = default;
};

// A punch an HR system would not take (no employee with that card, one who
// has left), kept with the system's answer until it is placed: the sink
// goes on with the punches after it.
struct RefusedPunch {
  int64_t punch = 0;
  std::string reason;
  UtcTime at{};        // when it was last refused
  bool again = false;  // to be sent again (deliver retry --refused)
  bool operator==(const RefusedPunch&) const = default;
};

// What a sink has still to deliver.
struct SinkBacklog {
  int64_t punches = 0;
  // When the oldest of them was swiped (its UTC time), else when it was
  // stored; absent when there is none.
  std::optional<UtcTime> oldest;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_SINK_H_
