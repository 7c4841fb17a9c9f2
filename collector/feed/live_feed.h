// What the live feed's streams (the dashboard's /api/events) share: the
// news of punches stored, and the server's stop.
#ifndef TALLYGATE_COLLECTOR_FEED_LIVE_FEED_H_
#define TALLYGATE_COLLECTOR_FEED_LIVE_FEED_H_

#include <atomic>

#include "collector/feed/punch_signal.h"

namespace tallygate::collector {

class LiveFeed {
 public:
  // `stored` (the service's) outlives the feed; without one, streams find
  // new punches at their fallback look, once a second.
  explicit LiveFeed(PunchSignal* stored) : signal_(stored != nullptr ? *stored : own_) {}
  LiveFeed(const LiveFeed&) = delete;
  LiveFeed& operator=(const LiveFeed&) = delete;

  PunchSignal& signal() { return signal_; }

  // The server stops: every stream ends at its next look.
  void Stop() {
    stopping_ = true;
    own_.Stop();
  }
  bool Stopping() { return stopping_ || signal_.Stopped(); }

 private:
  PunchSignal own_;
  PunchSignal& signal_;
  std::atomic<bool> stopping_ = false;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_FEED_LIVE_FEED_H_
