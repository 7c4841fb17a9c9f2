// Everything one simulated terminal remembers.
//
// Multi-byte values are kept as the bytes that travel on the wire (card
// numbers most significant byte first, dates and times packed BCD), so that
// handlers copy them into replies without conversion.
#ifndef TALLYGATE_SIM_MODEL_TERMINAL_STATE_H_
#define TALLYGATE_SIM_MODEL_TERMINAL_STATE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/protocol/frame.h"
#include "link/protocol/units.h"

namespace tallygate::sim {

// One logged card swipe.
struct AttendanceRecord {
  std::array<uint8_t, 4> card{};  // most significant byte first
  std::array<uint8_t, 6> time{};  // YY MM DD hh mm ss, packed BCD
  uint8_t flag = 0xFF;
  uint8_t keep = 0x99;
};

// One entry of the list of cards the terminal accepts.
struct CardEntry {
  std::array<uint8_t, 4> card{};   // most significant byte first
  std::array<uint8_t, 4> staff{};  // staff number, as enrolled
  std::array<uint8_t, 8> name{};   // code-page bytes (ASCII, GB2312), zero-filled
};

// The card lying on the terminal's reader, as ReadCardNum reports it.
struct PresentedCard {
  std::array<uint8_t, 4> card{};  // most significant byte first
  uint8_t kind = 0x04;            // the reading kind the reply carries
};

inline constexpr int kRingSchedules = 3;
inline constexpr int kRingTimesPerSchedule = 10;
inline constexpr int kParameterBytes = 13;
inline constexpr int kPictureBytes = 512;
inline constexpr int kPictureBlockBytes = 16;
inline constexpr int kPictureBlocks = kPictureBytes / kPictureBlockBytes;

// The records a terminal's memory holds: its count must stay below 0x8000,
// the most the pages can reach.
inline constexpr size_t kDefaultRecordCapacity = size_t{kMaxPages} * size_t{kUnitsPerPage} - 1;

struct TerminalState {
  uint8_t address = 1;
  std::vector<AttendanceRecord> records;  // oldest first
  // Every record held since the simulator started, in the order they came,
  // cleared ones too (see record_memory.h).
  std::vector<AttendanceRecord> history;
  // Card swipes find no room once `records` holds this many; they are
  // counted, not stored. Seeding and SendRecordToMachine are not limited.
  size_t record_capacity = kDefaultRecordCapacity;
  uint64_t refused_punches = 0;
  std::vector<CardEntry> cards;
  std::array<uint8_t, kParameterBytes> parameters{};
  std::array<uint8_t, 7> clock{};  // YY MM DD hh mm ss (BCD), weekday
  bool clock_set = false;
  // Ten hour-minute pairs (BCD) per schedule.
  std::array<std::array<uint8_t, 2 * kRingTimesPerSchedule>, kRingSchedules> ring_schedules{};
  std::array<uint8_t, 4> password{};  // four digit values 0 .. 9
  uint8_t storage_mode = 1;
  uint8_t message_time = 0;
  Bytes message;  // the last message shown, without its zero fill
  std::optional<uint8_t> last_sound;
  std::optional<PresentedCard> presented_card;
  // The start-up picture shown; it changes only when all of a download's
  // blocks have come, so a broken download leaves the old picture.
  std::array<uint8_t, kPictureBytes> picture{};
  bool picture_loaded = false;
  // The download in progress: blocks are told apart only by their order.
  bool picture_receiving = false;
  int picture_blocks = 0;  // data blocks received since the last start frame
  std::array<uint8_t, kPictureBytes> picture_incoming{};
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_TERMINAL_STATE_H_
