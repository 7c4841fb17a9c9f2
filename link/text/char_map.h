// Mapping of card-holder names between Big5 and GB2312 through the code
// tables (code_tables.h). Terminals keep names in GB2312; a Traditional-
// Chinese computer works in Big5, so names it sends are mapped Big5 -> GB and
// names it collects GB -> Big5.
//
// The byte-level forms are the ones to use for names on the wire: the
// text-level forms go through CP950 text, in which many GB2312 codes are no
// character at all and are lost.
//
// Table indexes:
//   Big5  (L - 0xA1) * 157 + column, column T - 0x40 for T 0x40..0x7E and
//         T - 0x62 for T 0xA1..0xFE; L 0xA1..0xFE (14758 entries)
//   GB    (L - 0xA1) * 94 + (T - 0xA1); L 0xA1..0xF7, T 0xA1..0xFE (8178)
// A two-byte character outside its table's rows or columns cannot be mapped
// and throws BasicError(err::kSubscriptOutOfRange), as does a look-up while
// no tables are loaded.
#ifndef TALLYGATE_LINK_TEXT_CHAR_MAP_H_
#define TALLYGATE_LINK_TEXT_CHAR_MAP_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/protocol/frame.h"

namespace tallygate {

// The Big5 table index of the first character of `utf8_char`, from its CP950
// bytes by the formula above, without range checks (a lead byte below 0xA1
// gives a negative index). A character that is not two bytes in CP950 (ASCII,
// or one CP950 lacks) has no index and throws
// BasicError(err::kSubscriptOutOfRange).
int16_t Big5CodeIndex(std::string_view utf8_char);

// The GB table index of the first character of `utf8_char`, from its CP950
// bytes, because the text handed in holds GB2312 codes read as Big5. No
// range checks; throws as Big5CodeIndex does.
int16_t GbCodeIndex(std::string_view utf8_char);

// The table indexes of a two-byte code, or -1 when it falls outside the
// table's rows or columns.
int Big5TableIndex(uint8_t lead, uint8_t trail);
int GbTableIndex(uint8_t lead, uint8_t trail);

// Each character of `utf8_text` that is two bytes in CP950 replaced by the
// first character of its Big5-to-GB entry's code read as CP950; other
// characters kept. The result is text whose CP950 encoding is the name's
// GB2312 encoding, where CP950 has a character for every code.
std::string MapBig5ToGb(std::string_view utf8_text);

// The reverse through the GB-to-Big5 table. `pass_through` "1" returns the
// text unchanged.
std::string MapGbToBig5(std::string_view utf8_text, std::string_view pass_through);

// Big5 bytes to GB2312 bytes: each two-byte character (a lead byte of 0x81 or
// above followed by another byte) replaced by the two bytes of its table
// entry; single bytes kept, a lead byte that ends the input included.
Bytes MapBig5BytesToGb(std::span<const uint8_t> big5);

// GB2312 bytes to Big5 bytes, the same way through the GB-to-Big5 table.
Bytes MapGbBytesToBig5(std::span<const uint8_t> gb);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TEXT_CHAR_MAP_H_
