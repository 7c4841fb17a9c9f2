// The units a terminal streams back after a page request: one attendance
// record or one card-list entry each, read and checked one at a time like any
// reply (byte 0 the terminal's address, the last byte the XOR of the others).
//
// Record unit, 16 bytes:
//   0 address  1-2 not examined  3-6 card number, most significant first
//   7-12 YY MM DD hh mm ss in BCD  13 flag byte  14 keep byte  15 check byte
//
// Card unit, 20 bytes:
//   0 address  1-2 not examined  3-6 card number  7-10 staff number (BCD)
//   11-18 name, four codes of two bytes  19 check byte
//
// Page p (1 to 128) holds positions (p-1)*256 to p*256-1; page 0 of the same
// command is the count query.
#ifndef TALLYGATE_LINK_PROTOCOL_UNITS_H_
#define TALLYGATE_LINK_PROTOCOL_UNITS_H_

#include <cstddef>
#include <cstdint>

namespace tallygate {

inline constexpr int32_t kUnitsPerPage = 256;
// The page number travels in one byte, and a count is below 0x8000.
inline constexpr int32_t kMaxPages = 128;

namespace record_unit {
inline constexpr int kLength = 16;
inline constexpr size_t kCard = 3;
inline constexpr size_t kTime = 7;  // six BCD bytes
inline constexpr size_t kTimeBytes = 6;
inline constexpr size_t kFlag = 13;
inline constexpr size_t kKeep = 14;
}  // namespace record_unit

namespace card_unit {
inline constexpr int kLength = 20;
inline constexpr size_t kCard = 3;
inline constexpr size_t kStaff = 7;
inline constexpr size_t kStaffBytes = 4;
inline constexpr size_t kName = 11;
inline constexpr size_t kNameBytes = 8;
}  // namespace card_unit

}  // namespace tallygate

#endif  // TALLYGATE_LINK_PROTOCOL_UNITS_H_
