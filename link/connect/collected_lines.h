// The lines of the collected files.
//
// Attendance record line, from a 16-byte record unit (address, two bytes not
// examined, card number 4 bytes, YY MM DD hh mm ss in BCD, flag byte, keep
// byte, check byte):
//
//   AAA CCCCCCCC YYMMDD hhmmss F K      "0010012D687240315083005199"
//
//   AAA       terminal address, 3 decimal digits
//   CCCCCCCC  card number, 8 hexadecimal digits; with the decimal option the
//             signed 32-bit value, at least 10 digits ("-0000000001")
//   YYMMDD    the date bytes as hexadecimal pairs; with four-digit years the
//             computer's century in front
//   hhmmss    the time bytes as hexadecimal pairs
//   F K       flag and keep byte, hexadecimal without padding ("5", "FF")
//
// Card-list line, from a 20-byte card unit (address, two bytes not examined,
// card number 4 bytes, staff number 4 bytes, name 8 bytes, check byte): card
// number as above, staff number as 8 hexadecimal digits, then the name as
// UTF-8 text.
#ifndef TALLYGATE_LINK_CONNECT_COLLECTED_LINES_H_
#define TALLYGATE_LINK_CONNECT_COLLECTED_LINES_H_

#include <cstdint>
#include <span>
#include <string>

namespace tallygate {

// The card field: 8 hexadecimal digits, or the signed decimal value zero-
// padded to 10 digits when `decimal`.
std::string CardField(std::span<const uint8_t, 4> card, bool decimal);

// `century` is the first two digits of the current year ("20"), used when
// `full_year`.
std::string RecordLine(int address, std::span<const uint8_t> unit, bool decimal_card,
                       bool full_year, const std::string& century);

// The name's eight bytes as four codes, high byte first: a code below 256 is
// the character of its low byte (0x00 a NUL), any other a two-byte character
// of the terminal's code page. On `locale_class` 2 the name is trimmed of
// spaces and each GB2312 code mapped to Big5 through the code tables. A code
// that is no character (or has no Big5 counterpart) becomes U+FFFD, and so
// do CR and LF, which would break the entry's line in two.
std::string CardName(std::span<const uint8_t, 8> name, int16_t locale_class);

std::string CardLine(std::span<const uint8_t> unit, bool decimal_card, int16_t locale_class);

// The first two digits of the current year.
std::string CurrentCentury();

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_COLLECTED_LINES_H_
