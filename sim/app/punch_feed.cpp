#include "sim/app/punch_feed.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "sim/app/wall_clock.h"

namespace tallygate::sim {

PunchFeed::PunchFeed(std::deque<Station>& stations, double per_second, Output& output, TimePoint start)
    : stations_(stations),
      output_(output),
      period_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / per_second))) {
  // The terminals are staggered over the period in steps of at least
  // kStep, so that a large fleet wakes the loop a bounded number of times
  // a second instead of once per terminal.
  constexpr Clock::duration kStep = std::chrono::milliseconds(10);
  const auto count = static_cast<Clock::rep>(stations_.size());
  const Clock::rep phases = std::clamp<Clock::rep>(period_ / kStep, 1, std::max<Clock::rep>(count, 1));
  for (Clock::rep i = 0; i < count; ++i) due_.push_back(start + period_ * (i % phases + 1) / phases);
  if (!due_.empty()) next_ = *std::min_element(due_.begin(), due_.end());
}

void PunchFeed::Service(std::span<const pollfd>, TimePoint now) {
  if (!next_ || now < *next_) return;
  const std::array<uint8_t, 6> time = LocalBcdTimeNow();
  for (size_t i = 0; i < due_.size(); ++i) {
    size_t swipes = 0;
    for (; due_[i] <= now; due_[i] += period_) ++swipes;
    if (swipes == 0) continue;
    Station& station = stations_[i];
    TerminalState& state = station.terminal.state();
    const size_t stored = Punch(state, station.punches, swipes, time);
    output_.Log(station.log_prefix + "punch addr=" + std::to_string(state.address) + " stored=" +
                std::to_string(stored) + " refused=" + std::to_string(swipes - stored) +
                " records=" + std::to_string(state.records.size()));
  }
  next_ = *std::min_element(due_.begin(), due_.end());
}

}  // namespace tallygate::sim
