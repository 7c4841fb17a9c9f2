// Records, card entries and times as values, from and to the bytes the
// terminal keeps.
#ifndef TALLYGATE_RECORD_VALUES_H_
#define TALLYGATE_RECORD_VALUES_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "tallygate/terminal.h"

namespace tallygate {

// A record unit as a record: the card number big-endian, the time when its
// six BCD bytes are a valid date and time of 2000 to 2099.
AttendanceRecord RecordFromUnit(uint8_t address, int32_t position,
                                std::span<const uint8_t, 16> unit);

// A card unit as an entry; the name decoded as on a system of
// `locale_class` (2: Traditional Chinese).
CardEntry CardFromUnit(int32_t position, std::span<const uint8_t, 20> unit,
                       int16_t locale_class);

// YY MM DD hh mm ss in BCD as a local time; nothing when a byte is no BCD or
// the date or time does not exist.
std::optional<LocalDateTime> TimeFromBcd(std::span<const uint8_t, 6> bcd);

// A local time of 2000 to 2099 as YY MM DD hh mm ss in BCD, and its ISO day
// of the week (Monday 1 to Sunday 7) in BCD after them.
Result<std::array<uint8_t, 7>> BcdFromTime(LocalDateTime time);

// 0 to 99 as one BCD byte.
uint8_t BcdByte(int value);

// The four bytes of a card number, most significant first, and back.
std::array<uint8_t, 4> CardBytesOf(uint32_t card);
uint32_t CardNumberOf(std::span<const uint8_t, 4> bytes);

}  // namespace tallygate

#endif  // TALLYGATE_RECORD_VALUES_H_
