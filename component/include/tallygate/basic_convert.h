// Numeric readings of text and rounding, as a Basic runtime does them. The
// library reads its settings file and its callers' texts with these, so that
// a value means the same here as it did to the caller who wrote it.
#ifndef TALLYGATE_BASIC_CONVERT_H_
#define TALLYGATE_BASIC_CONVERT_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace tallygate {

// The leading numeric part of a text, as Basic's Val reads it: blanks (space,
// tab, line feed, carriage return) are skipped wherever they stand, then an
// optional sign, digits with an optional decimal point and exponent (E or D),
// or a hexadecimal (&H) or octal (&O) number. Reading stops at the first
// character that does not fit; a text that does not start with a number
// reads as 0. "&HFFFF" reads as -1: four hexadecimal digits or fewer are a
// 16-bit value.
double Val(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour, and checks the
// range: outside it throws "Overflow".
int16_t RoundToInt16(double value);
int32_t RoundToInt32(double value);
uint8_t RoundToByte(double value);

// Reads the whole text as a number the way Basic converts text to a number:
// surrounding blanks allowed, a sign, decimals, an exponent, &H and &O
// prefixes. Returns nothing when the text, or part of it, is not a number.
std::optional<double> ParseNumber(std::string_view text);

}  // namespace tallygate

#endif  // TALLYGATE_BASIC_CONVERT_H_
