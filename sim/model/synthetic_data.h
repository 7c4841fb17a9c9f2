// Made-up terminal contents for seeding: attendance records and card-list
// entries that are the same for the same seed on every machine.
//
// Records carry valid packed-BCD dates and times, strictly ascending from
// 2024-01-01 07:00:00 in steps of 1 to 900 seconds, cards of the synthetic
// card list, flag bytes 0x01, 0x02 or 0xFF and keep byte 0x99. Card-list
// entries have distinct card numbers, staff numbers 1, 2, 3, ... as packed
// BCD, and names that mix GB2312 Chinese characters with ASCII letters,
// zero-filled to 8 bytes.
#ifndef TALLYGATE_SIM_MODEL_SYNTHETIC_DATA_H_
#define TALLYGATE_SIM_MODEL_SYNTHETIC_DATA_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "sim/model/terminal_state.h"

namespace tallygate::sim {

// The most entries a seeding may ask for.
inline constexpr size_t kMaxSyntheticEntries = 1'000'000;

std::vector<AttendanceRecord> SyntheticRecords(size_t count, uint32_t seed);
std::vector<CardEntry> SyntheticCards(size_t count, uint32_t seed);

// The card number of synthetic card-list entry `index`.
std::array<uint8_t, 4> SyntheticCardNumber(size_t index);

// Synthetic records are swipes of the first this many synthetic cards.
inline constexpr uint32_t kSyntheticCardsSwiped = 500;

// A number below `below`. std::mt19937 is the same generator everywhere;
// the distributions of <random> are not, so draws are taken modulo by hand.
uint32_t Draw(std::mt19937& rng, uint32_t below);

// A record's flag byte: 0x01, 0x02 or 0xFF.
uint8_t DrawFlag(std::mt19937& rng);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_SYNTHETIC_DATA_H_
