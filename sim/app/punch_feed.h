// Card swipes at the terminals' readers at a steady rate (--punch-rate, and
// the punch-rate control command while running). Each terminal's swipes are
// spread evenly over its period, and when every terminal's rate is set at
// once they are staggered, so that a fleet does not punch all at once. A
// round that comes late makes up the swipes it missed.
#ifndef TALLYGATE_SIM_APP_PUNCH_FEED_H_
#define TALLYGATE_SIM_APP_PUNCH_FEED_H_

#include <deque>
#include <optional>
#include <vector>

#include "sim/app/event_loop.h"
#include "sim/app/output.h"
#include "sim/app/station.h"

namespace tallygate::sim {

class PunchFeed final : public Channel {
 public:
  // No terminal swipes until a rate is set.
  PunchFeed(std::deque<Station>& stations, Output& output) : stations_(stations), output_(output) {}

  // Every terminal swipes `per_second` (0 .. kMaxPunchRate; 0: none) cards a
  // second from `now` on.
  void SetRate(double per_second, TimePoint now);
  // `station` alone, its first swipe one period after `now`.
  void SetRate(const Station& station, double per_second, TimePoint now);

  void Watch(std::vector<pollfd>&) override {}
  void Service(std::span<const pollfd> fds, TimePoint now) override;
  std::optional<TimePoint> next_deadline() const override { return next_; }

 private:
  struct Schedule {
    Clock::duration period{0};
    std::optional<TimePoint> due;  // the next swipe; none at rate 0
  };
  void Resize();
  void FindNext();

  std::deque<Station>& stations_;
  Output& output_;
  std::vector<Schedule> schedules_;  // one per station, in order
  std::optional<TimePoint> next_;    // the earliest due
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_PUNCH_FEED_H_
