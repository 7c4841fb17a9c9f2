#include "link/connect/collected_lines.h"

#include <chrono>

#include "link/protocol/hex_text.h"
#include "link/protocol/units.h"
#include "link/text/card_name.h"

namespace tallygate {

std::string CardName(std::span<const uint8_t, 8> name, int16_t locale_class) {
  return DecodeCardName(name, locale_class);
}

std::string CardLine(std::span<const uint8_t> unit, bool decimal_card, int16_t locale_class) {
  std::string line = CardField(unit.subspan<card_unit::kCard, 4>(), decimal_card);
  line += BytesToHex(unit.subspan(card_unit::kStaff, card_unit::kStaffBytes));
  line += CardName(unit.subspan<card_unit::kName, card_unit::kNameBytes>(), locale_class);
  return line;
}

std::string CurrentCentury() {
  const auto today = std::chrono::year_month_day(
      std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()));
  return std::to_string(static_cast<int>(today.year())).substr(0, 2);
}

}  // namespace tallygate
