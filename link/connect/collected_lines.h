// The lines of the collected files: the attendance record line
// (link/protocol/record_line.h) and the card-list line.
//
// Card-list line, from a 20-byte card unit (address, two bytes not examined,
// card number 4 bytes, staff number 4 bytes, name 8 bytes, check byte): card
// number as in the record line, staff number as 8 hexadecimal digits, then
// the name as UTF-8 text.
#ifndef TALLYGATE_LINK_CONNECT_COLLECTED_LINES_H_
#define TALLYGATE_LINK_CONNECT_COLLECTED_LINES_H_

#include <cstdint>
#include <span>
#include <string>

#include "tallygate/record_line.h"

namespace tallygate {

// The name as the card-list line writes it: DecodeCardName
// (link/text/card_name.h).
std::string CardName(std::span<const uint8_t, 8> name, int16_t locale_class);

std::string CardLine(std::span<const uint8_t> unit, bool decimal_card, int16_t locale_class);

// The first two digits of the current year.
std::string CurrentCentury();

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_COLLECTED_LINES_H_
