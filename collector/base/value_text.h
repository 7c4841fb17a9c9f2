// Values as people type them, read the same way by `export`, the dashboard
// and the cardholder lists: days and card numbers.
#ifndef TALLYGATE_COLLECTOR_BASE_VALUE_TEXT_H_
#define TALLYGATE_COLLECTOR_BASE_VALUE_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "collector/base/failure.h"
#include "collector/base/punch.h"

namespace tallygate::collector {

// "YYYY-MM-DD" as that day (its start is its local midnight); absent when it
// is no date.
std::optional<LocalDay> ParseDay(std::string_view text);
// The day as "YYYY-MM-DD".
std::string DayText(LocalDay day);

// A card as written on it or as the terminal lists it:
//   decimal digits                 "1234567"
//   0x / hex: and 1-8 hex digits   "0x0012D687", "hex:12d687"
//   any text with a letter A-F     "0012D687" (hexadecimal, 1-8 digits)
// Throws InputError saying why it is no card.
uint32_t ParseCard(std::string_view text);

// The strict form for what is kept rather than searched for (a card file,
// the cards commands): decimal digits, or hexadecimal only after 0x, so
// that a mistyped "12a" is refused instead of read as 0x12A. Throws
// InputError as ParseCard does.
uint32_t ParseKeptCard(std::string_view text);

// "0012D687", as the card lists and exports show cards.
std::string CardHex(uint32_t card);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_VALUE_TEXT_H_
