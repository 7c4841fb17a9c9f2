// The text forms in which callers hand numbers to the commands.
//
//   decimal card text   "300", "-1": read as a signed 32-bit number and sent
//                       as its four bytes, most significant first
//   lenient hex pair    "12", "1x", "x1", "": the hexadecimal digits up to the
//                       first other character ("1x" is 0x01, "x1" and "" are 0)
//   strict hex pair     "&H" and the pair must read wholly as a hexadecimal
//                       number of one or two digits; anything else is a
//                       "Type mismatch"
//
// Decimal digits in hexadecimal pairs travel as BCD: staff number 123 is
// 0x00 0x00 0x01 0x23.
#ifndef TALLYGATE_LINK_CONNECT_TEXT_ENCODINGS_H_
#define TALLYGATE_LINK_CONNECT_TEXT_ENCODINGS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallygate {

// The four bytes of a decimal card number text. Throws "Type mismatch" for a
// text that is not a number and "Overflow" outside the signed 32-bit range.
std::array<uint8_t, 4> DecimalCardBytes(std::string_view text);

// One lenient pair.
uint8_t LenientHexByte(std::string_view pair);

// `count` lenient pairs cut from the left of `text`; pairs beyond its end
// are 0.
std::vector<uint8_t> LenientHexPairs(std::string_view text, size_t count);

// One strict pair; throws "Type mismatch" when it does not read wholly as one
// or two hexadecimal digits.
uint8_t StrictHexByte(std::string_view pair);

// `text` filled on the left with '0' to `width` characters; a longer text
// gives its last `width` characters.
std::string FillLeft(std::string_view text, size_t width);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_TEXT_ENCODINGS_H_
