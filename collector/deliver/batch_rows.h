// The punches of a sink's batch in flight: read when the batch begins, and
// read again only when the batch is taken up afresh (after a failure, a
// restart, a resume, or when part of it was placed).
#ifndef TALLYGATE_COLLECTOR_DELIVER_BATCH_ROWS_H_
#define TALLYGATE_COLLECTOR_DELIVER_BATCH_ROWS_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "collector/base/sink.h"
#include "collector/feed/punch_follower.h"
#include "collector/store/punch_reader.h"

namespace tallygate::collector {

// The most punches a batch holds, whatever `batch` says.
inline constexpr int kMostBatch = 10000;

class BatchRows {
 public:
  // Up to `limit` punches after `position`, read through `follower`; the
  // id of the last, absent when there are none yet.
  std::optional<int64_t> Next(PunchFollower& follower, PunchReader& punches, int64_t position,
                              int limit);
  // The punches after `state`'s position up to its batch_last: the same
  // punches however often they are read, since ids are committed in order.
  const std::vector<PunchRow>& Of(PunchReader& punches, const SinkState& state);
  // Forgets them (the batch was delivered).
  void Clear() { rows_.clear(); }

 private:
  std::vector<PunchRow> rows_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_BATCH_ROWS_H_
