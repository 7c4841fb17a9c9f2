#include "sim/model/punch_source.h"

#include "sim/model/record_memory.h"
#include "sim/model/synthetic_data.h"

namespace tallygate::sim {

// Apart from the seeded records' generator, so that punches do not repeat
// the seeded records' cards.
PunchSource::PunchSource(uint32_t seed) : rng_(seed ^ 0xC3A5C35Au) {}

AttendanceRecord PunchSource::Next(const TerminalState& state, const std::array<uint8_t, 6>& time) {
  AttendanceRecord record;
  if (state.cards.empty()) {
    record.card = SyntheticCardNumber(Draw(rng_, kSyntheticCardsSwiped));
  } else {
    record.card = state.cards[Draw(rng_, static_cast<uint32_t>(state.cards.size()))].card;
  }
  record.time = time;
  record.flag = DrawFlag(rng_);
  return record;
}

size_t Punch(TerminalState& state, PunchSource& source, size_t count,
             const std::array<uint8_t, 6>& time) {
  size_t stored = 0;
  for (size_t i = 0; i < count; ++i) {
    // A refused swipe still takes its draws: the cards that follow do not
    // depend on the capacity.
    const AttendanceRecord record = source.Next(state, time);
    if (state.records.size() >= state.record_capacity) {
      ++state.refused_punches;
      continue;
    }
    StoreRecord(state, record);
    ++stored;
  }
  return stored;
}

}  // namespace tallygate::sim
