// Follows the punches stored after a position: hands on those after it, in
// id order, and waits for news of more (PunchSignal: this collector's
// commits, and other collectors' on the same PostgreSQL database). The live
// feed and the sinks follow the store with it.
//
// News that comes between a read and the wait after it is not lost: Wait()
// returns at once for news since the last read.
#ifndef TALLYGATE_COLLECTOR_FEED_PUNCH_FOLLOWER_H_
#define TALLYGATE_COLLECTOR_FEED_PUNCH_FOLLOWER_H_

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <vector>

#include "collector/feed/punch_signal.h"
#include "collector/store/punch_reader.h"

namespace tallygate::collector {

class PunchFollower {
 public:
  // Follows from `position` (the id of the last punch handed on); `stored`
  // outlives the follower.
  PunchFollower(PunchSignal& stored, int64_t position);

  int64_t position() const { return position_; }
  // Goes on from `position` instead (a sink's, as it saved it).
  void MoveTo(int64_t position) { position_ = position; }

  // Up to `limit` punches after the position, by id, read through
  // `reader`; the position moves past them. Throws StoreError.
  std::vector<PunchRow> Next(PunchReader& reader, int limit);

  // The id of the newest punch, read through `reader`, for a follower that
  // takes punches by periods rather than as they come. Throws StoreError.
  int64_t Newest(PunchReader& reader);

  // Returns when punches were stored since the last read, at `until`, or
  // when `stop` is requested. Once the service stops the news, it sleeps out
  // the wait (a follower then looks at its own pace).
  void Wait(std::chrono::steady_clock::time_point until, std::stop_token stop = {});

  // The service stopped the news for good.
  bool Stopped() { return stored_.Stopped(); }

 private:
  PunchSignal& stored_;
  int64_t position_;
  uint64_t seen_ = 0;  // the news counted when the store was last read
};

// The punches after `after` up to `last` (both ids), by id, read through
// `reader` in pages of `page`; `row` is called for each. What one batch of a
// sink holds, read again after a failure or a restart.
void ForEachPunchUpTo(PunchReader& reader, int64_t after, int64_t last, int page,
                      const std::function<void(const PunchRow&)>& row);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_FEED_PUNCH_FOLLOWER_H_
