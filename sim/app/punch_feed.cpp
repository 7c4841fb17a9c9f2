#include "sim/app/punch_feed.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "sim/app/wall_clock.h"

namespace tallygate::sim {
namespace {

Clock::duration PeriodOf(double per_second) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / per_second));
}

}  // namespace

void PunchFeed::Resize() { schedules_.resize(stations_.size()); }

void PunchFeed::SetRate(double per_second, TimePoint now) {
  Resize();
  if (per_second <= 0) {
    schedules_.assign(schedules_.size(), Schedule{});
    next_.reset();
    return;
  }
  const Clock::duration period = PeriodOf(per_second);
  // The terminals are staggered over the period in steps of at least
  // kStep, so that a large fleet wakes the loop a bounded number of times
  // a second instead of once per terminal.
  constexpr Clock::duration kStep = std::chrono::milliseconds(10);
  const auto count = static_cast<Clock::rep>(schedules_.size());
  const Clock::rep phases = std::clamp<Clock::rep>(period / kStep, 1, std::max<Clock::rep>(count, 1));
  for (Clock::rep i = 0; i < count; ++i) {
    schedules_[static_cast<size_t>(i)] = {period, now + period * (i % phases + 1) / phases};
  }
  FindNext();
}

void PunchFeed::SetRate(const Station& station, double per_second, TimePoint now) {
  Resize();
  for (size_t i = 0; i < stations_.size(); ++i) {
    if (&stations_[i] != &station) continue;
    if (per_second <= 0) {
      schedules_[i] = Schedule{};
    } else {
      const Clock::duration period = PeriodOf(per_second);
      schedules_[i] = {period, now + period};
    }
  }
  FindNext();
}

void PunchFeed::FindNext() {
  next_.reset();
  for (const Schedule& schedule : schedules_) {
    if (schedule.due && (!next_ || *schedule.due < *next_)) next_ = schedule.due;
  }
}

void PunchFeed::Service(std::span<const pollfd>, TimePoint now) {
  if (!next_ || now < *next_) return;
  const std::array<uint8_t, 6> time = LocalBcdTimeNow();
  for (size_t i = 0; i < schedules_.size(); ++i) {
    Schedule& schedule = schedules_[i];
    if (!schedule.due) continue;
    size_t swipes = 0;
    for (; *schedule.due <= now; *schedule.due += schedule.period) ++swipes;
    if (swipes == 0) continue;
    Station& station = stations_[i];
    TerminalState& state = station.terminal.state();
    const size_t stored = Punch(state, station.punches, swipes, time);
    output_.Log(station.log_prefix + "punch addr=" + std::to_string(state.address) + " stored=" +
                std::to_string(stored) + " refused=" + std::to_string(swipes - stored) +
                " records=" + std::to_string(state.records.size()));
  }
  FindNext();
}

}  // namespace tallygate::sim
