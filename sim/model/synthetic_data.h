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
#include <vector>

#include "sim/model/terminal_state.h"

namespace tallygate::sim {

// The most entries a seeding may ask for.
inline constexpr size_t kMaxSyntheticEntries = 1'000'000;

std::vector<AttendanceRecord> SyntheticRecords(size_t count, uint32_t seed);
std::vector<CardEntry> SyntheticCards(size_t count, uint32_t seed);

// The card number of synthetic card-list entry `index`.
std::array<uint8_t, 4> SyntheticCardNumber(size_t index);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_SYNTHETIC_DATA_H_
