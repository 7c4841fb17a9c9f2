// Card swipes at every terminal's reader at a steady rate (--punch-rate).
// Each terminal's swipes are spread evenly over the period, and the
// terminals' are staggered, so that a fleet does not punch all at once.
// A round that comes late makes up the swipes it missed.
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
  // `per_second` > 0: swipes a second at each terminal, from `start`.
  PunchFeed(std::deque<Station>& stations, double per_second, Output& output, TimePoint start);

  void Watch(std::vector<pollfd>&) override {}
  void Service(std::span<const pollfd> fds, TimePoint now) override;
  std::optional<TimePoint> next_deadline() const override { return next_; }

 private:
  std::deque<Station>& stations_;
  Output& output_;
  Clock::duration period_;
  std::vector<TimePoint> due_;     // each station's next swipe
  std::optional<TimePoint> next_;  // the earliest of due_
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_PUNCH_FEED_H_
