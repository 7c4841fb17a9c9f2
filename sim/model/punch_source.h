// Card swipes at a terminal's reader while the simulator runs.
//
// Which card and which flag each swipe has follows from the seed alone, so
// two runs with the same seed punch the same cards in the same order; only
// the time stamps, the wall clock's, differ. A swipe takes a card of the
// terminal's card list when it has one, otherwise one of the synthetic
// cards its seeded records use.
#ifndef TALLYGATE_SIM_MODEL_PUNCH_SOURCE_H_
#define TALLYGATE_SIM_MODEL_PUNCH_SOURCE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>

#include "sim/model/terminal_state.h"

namespace tallygate::sim {

class PunchSource {
 public:
  explicit PunchSource(uint32_t seed);

  // The next swipe at `state`'s reader at `time` (YY MM DD hh mm ss, BCD).
  AttendanceRecord Next(const TerminalState& state, const std::array<uint8_t, 6>& time);

 private:
  std::mt19937 rng_;
};

// Swipes `count` cards at `time` and stores each while the memory has room;
// the rest are refused and counted in state.refused_punches. Returns how
// many were stored.
size_t Punch(TerminalState& state, PunchSource& source, size_t count,
             const std::array<uint8_t, 6>& time);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_PUNCH_SOURCE_H_
